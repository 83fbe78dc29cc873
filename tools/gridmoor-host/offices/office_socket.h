// The line protocol between the user's office server and its clients over
// a Unix socket in the user's private folder, and the folder's lock that
// the server holds while it lives.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace refhost::office_socket {

std::filesystem::path SocketPath(const std::filesystem::path& folder);

// The folder locked for this process (the descriptor), or -1 while another
// process holds it.
int LockFolder(const std::filesystem::path& folder);

// A socket connected to the server, or -1 (errno set).
int Connect(const std::filesystem::path& folder);

// `line` and its newline, on a socket or a pipe; false when it could not
// be sent.
bool SendLine(int fd, const std::string& line);

// The next line from `fd` (without its newline), none at the end of the
// stream or after `limit`. `pending` keeps what came after it.
std::optional<std::string> ReadLine(int fd, std::string& pending, std::chrono::milliseconds limit);

}  // namespace refhost::office_socket
