/* Export marker and calling convention shared by the public C headers. */
#ifndef GRIDMOOR_API_H
#define GRIDMOOR_API_H

#if defined(__GNUC__)
#define GM_API __attribute__((visibility("default")))
#else
#define GM_API
#endif

#ifdef __cplusplus
#define GM_EXTERN_C_BEGIN extern "C" {
#define GM_EXTERN_C_END }
#else
#define GM_EXTERN_C_BEGIN
#define GM_EXTERN_C_END
#endif

#endif
