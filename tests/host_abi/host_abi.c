/*
 * A host in C against gridmoor/host.h alone, loading the library with dlopen
 * as the integration host does: the exports answer through the C ABI in the
 * mode the settings chose at load, records come back written within their
 * bounds, settings are read at load and written back at exit (also with an
 * instance alive: "exit"). Also the struct layouts and the text helpers.
 *
 *   host_abi <library> direct|threaded|exit <scratch folder>
 */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "abi_check.h"
#include "gridmoor/host.h"

_Static_assert(sizeof(ExtStatusRecord) == EXT_STATUS_RECORD_SIZE, "status record size");
_Static_assert(offsetof(ExtStatusRecord, size) == EXT_STATUS_SIZE_OFFSET, "status size word");
_Static_assert(offsetof(ExtStatusRecord, text) == EXT_STATUS_TEXT_OFFSET, "status text offset");
_Static_assert(sizeof(((ExtStatusRecord*)0)->text) == EXT_STATUS_TEXT_SIZE, "status text size");
_Static_assert(sizeof(ExtDrawSurface) == 24 && offsetof(ExtDrawSurface, pixels) == 16,
               "drawing surface");
_Static_assert(offsetof(ExtString, text) == 0, "a text object's first member is its text");

static void* library;

static void* Resolve(const char* name) {
  void* symbol = dlsym(library, name);
  CHECK(symbol != NULL, "export %s is missing", name);
  return symbol;
}

/* Declares `variable` as a pointer to the export `name` of the given type;
 * object pointer to function pointer, as POSIX allows for dlsym results. */
#define EXPORT(variable, result, name, parameters) \
  result(*variable) parameters = (result(*) parameters)(uintptr_t)Resolve(name)

typedef int32_t (*CommandExport)(ExtInstance, ExtWindow, int32_t, void*, int32_t, ExtStatusRecord*);

static void CheckTextHelpers(void) {
  ExtString s;
  ExtStringInit(&s);
  CHECK(s.text == NULL && s.length == 0 && strcmp(ExtStringText(&s), "") == 0, "init");
  /* From a part of itself: copied before the old text is freed. */
  CHECK(ExtStringSet(&s, "Sheet1") == 0 && ExtStringSet(&s, s.text + 5) == 0, "set");
  CHECK(s.length == 1 && strcmp(ExtStringText(&s), "1") == 0, "set from itself: %s", s.text);
  CHECK(
      ExtStringSetLength(&s, "ab\0cd", 5) == 0 && s.length == 5 && memcmp(s.text, "ab\0cd", 6) == 0,
      "set with a NUL inside");
  CHECK(ExtStringSet(&s, NULL) == 0 && s.text == NULL && s.length == 0, "set to null");
  CHECK(ExtStringSet(&s, "\xc3\xa9t\xc3\xa9") == 0 && s.length == 5, "UTF-8 length");
  CHECK(ExtStringSetLength(&s, NULL, 3) == -1 && s.length == 5 &&
            strcmp(s.text, "\xc3\xa9t\xc3\xa9") == 0,
        "a refused set changes nothing");
  ExtStringFree(&s);
  CHECK(s.text == NULL && s.length == 0, "free");
  ExtStringFree(&s); /* freeing twice is harmless */
}

enum { kGuardSize = 32, kGuardByte = 0xA5 };

typedef struct Guarded {
  unsigned char* bytes;
  size_t size;
} Guarded;

static Guarded NewRecord(size_t size, unsigned char fill) {
  Guarded record;
  record.size = size;
  record.bytes = (unsigned char*)malloc(size + kGuardSize);
  if (record.bytes == NULL) abort();
  memset(record.bytes, fill, size);
  memset(record.bytes + size, kGuardByte, kGuardSize);
  return record;
}

static int GuardsIntact(const Guarded* record) {
  size_t i;
  for (i = 0; i < kGuardSize; ++i) {
    if (record->bytes[record->size + i] != kGuardByte) return 0;
  }
  return 1;
}

static ExtStatusRecord* StatusOf(Guarded* holder) {
  ExtStatusRecord* status = (ExtStatusRecord*)(void*)holder->bytes;
  status->size = EXT_STATUS_RECORD_SIZE;
  return status;
}

static char scratch[1024];

static void WriteFile(const char* path, const char* text) {
  FILE* file = fopen(path, "w");
  if (file == NULL) {
    perror(path);
    exit(2);
  }
  fputs(text, file);
  fclose(file);
}

static char* ReadFile(const char* path) {
  static char text[8192];
  size_t length;
  FILE* file = fopen(path, "r");
  if (file == NULL) return NULL;
  length = fread(text, 1, sizeof text - 1, file);
  text[length] = '\0';
  fclose(file);
  return text;
}

/* The mode, a plug-in list and a help viewer with an option: a script that
 * records its arguments in help.txt. */
static void WriteSettings(const char* vista) {
  char viewer[1200];
  char script[4096];
  char text[8192];
  snprintf(viewer, sizeof viewer, "%s/help.txt", scratch);
  remove(viewer); /* from an earlier run */
  snprintf(viewer, sizeof viewer, "%s/viewer.sh", scratch);
  snprintf(script, sizeof script,
           "#!/bin/sh\necho \"$1 $2\" > %s/help.tmp && mv %s/help.tmp %s/help.txt\n", scratch,
           scratch, scratch);
  WriteFile(viewer, script);
  chmod(viewer, 0700);
  snprintf(text, sizeof text,
           "REGEDIT4\n\n"
           "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
           "\"Vista\"=dword:%s\n\n"
           "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel]\n"
           "\"PlugIns\"=\"/abi/one.xlam;/abi/two.xla\"\n"
           "\"HelpViewer\"=\"%s --flag\"\n",
           vista, viewer);
  WriteFile(getenv("GRIDMOOR_REGISTRY"), text);
}

typedef struct Route {
  int32_t code;
  size_t recordSize; /* 0: arg is null */
  int32_t iarg;
  int32_t result;
  const char* direct;   /* status text in direct mode */
  const char* threaded; /* and in threaded mode */
} Route;

/* A command whose answer tells the modes apart, and one that writes into
 * its record without an application. */
static const Route kRoutes[] = {
    {32, EXT_OPT_PROBLEM_RECORD_SIZE, 0, -1, "There is no connection to Excel",
     "Can not perform this function until a workbook is opened\n(double-click on the icon to "
     "create input and output icons)"},
    {129, 32, 32, 0, "", ""},
};

static void CheckCommands(CommandExport command, ExtInstance instance, int threaded) {
  size_t i;
  for (i = 0; i < sizeof kRoutes / sizeof kRoutes[0]; ++i) {
    const Route* route = &kRoutes[i];
    const char* message = threaded ? route->threaded : route->direct;
    Guarded holder = NewRecord(EXT_STATUS_RECORD_SIZE, 'q');
    Guarded record = NewRecord(route->recordSize, 0);
    ExtStatusRecord* status = StatusOf(&holder);
    const int32_t result =
        command(instance, NULL, route->code, route->recordSize > 0 ? record.bytes : NULL,
                route->iarg, status);
    CHECK(result == route->result, "code %d gave %d (%s)", route->code, result, status->text);
    CHECK(strcmp(status->text, message) == 0, "code %d said \"%s\"", route->code, status->text);
    CHECK(GuardsIntact(&record), "code %d wrote past its record", route->code);
    CHECK(GuardsIntact(&holder), "code %d wrote past the status record", route->code);
    if (route->code == 129) {
      CHECK(strcmp((char*)record.bytes, "<No file>") == 0, "label %s", (char*)record.bytes);
    }
    free(record.bytes);
    free(holder.bytes);
  }
}

typedef int32_t (*EquipXmlExport)(ExtInstance, const ExtString*, uint8_t, const ExtStringList*);

static void CheckEquipmentXml(EquipXmlExport equipXml, CommandExport command, ExtInstance instance,
                              ExtStatusRecord* status) {
  char file[1100];
  char missing[1100];
  char* written;
  ExtString path = {NULL, 0};
  ExtString items[2] = {{NULL, 0}, {NULL, 0}};
  ExtStringList texts = {items, 2};
  struct stat info;
  snprintf(file, sizeof file, "%s/equipment.xml", scratch);
  snprintf(missing, sizeof missing, "%s/no-such-folder/equipment.xml", scratch);
  CHECK(ExtStringSet(&items[0], "passed on") == 0 && ExtStringSet(&items[1], "unused") == 0,
        "texts");
  CHECK(command(instance, NULL, EXT_CMD_SET_LABEL, (void*)"Wells & Co", 0, status) == 0,
        "label: %s", status->text);

  CHECK(ExtStringSet(&path, file) == 0, "path");
  CHECK(equipXml(instance, &path, 1, &texts) == 0, "ExtEquipXml with texts");
  written = ReadFile(file);
  /* The layout is the XML writer's tests'; a failed creation has no workbook. */
  CHECK(written != NULL && strstr(written, "\t<Filename />\n") != NULL &&
            strstr(written, "<Alias>Wells &amp; Co</Alias>") != NULL,
        "equipment description:\n%s", written != NULL ? written : "(none)");

  /* The texts may be null; a missing folder fails the save alone. */
  CHECK(ExtStringSet(&path, missing) == 0, "path");
  CHECK(equipXml(instance, &path, 0, NULL) == 1, "a missing folder");
  CHECK(stat(missing, &info) != 0, "a file in a missing folder");
  CHECK(equipXml(NULL, &path, 0, NULL) == 1, "a null handle");
  CHECK(equipXml(instance, NULL, 0, NULL) == 1, "a null path");
  ExtStringFree(&path);
  ExtStringFree(&items[0]);
  ExtStringFree(&items[1]);
}

static void RunMode(int threaded) {
  Guarded holder = NewRecord(EXT_STATUS_RECORD_SIZE, 0);
  ExtStatusRecord* status = StatusOf(&holder);
  ExtInstance instance = NULL;
  ExtInstance second = NULL;
  char helpFile[1400];
  char* opened = NULL;
  int wait;
  EXPORT(create, int32_t, "ExtCreateInstance", (ExtInstance*, ExtStatusRecord*));
  EXPORT(destroy, int32_t, "ExtDestroyInstance", (ExtInstance, ExtStatusRecord*));
  EXPORT(startApp, int32_t, "ExtStartApp", (ExtInstance, intptr_t, ExtStatusRecord*));
  EXPORT(stopApp, int32_t, "ExtStopApp", (ExtInstance));
  CommandExport command = (CommandExport)(uintptr_t)Resolve("ExtCmd");
  EXPORT(help, void, "ExtHelp", (void));
  EquipXmlExport equipXml = (EquipXmlExport)(uintptr_t)Resolve("ExtEquipXml");
  EXPORT(gridUp, void, "QVInitialiseStingray", (void));
  EXPORT(gridDown, void, "QVUnInitialiseStingray", (void));
  ExtShowDataServerStringHandler* handler =
      (ExtShowDataServerStringHandler*)Resolve("GlpfnTarnShowDataServerString");
  if (failures != 0) return;

  CHECK(*handler == NULL, "the handler variable must start as null");

  CHECK(create(&instance, status) == 1, "creation without an application succeeded");
  CHECK(instance != NULL, "no handle after a failed creation");
  CHECK(strncmp(status->text, "An error occurred in creating an Excel instance\n(", 49) == 0 &&
            status->text[strlen(status->text) - 1] == ')' && status->size == 0,
        "creation message: %s", status->text);
  CHECK(create(&second, status) == 1 && second != NULL && second != instance, "second instance");

  CheckCommands(command, instance, threaded);

  CHECK(startApp(instance, 0, status) == 1, "ExtStartApp");
  CHECK(strcmp(status->text,
               threaded ? "There is no connection to Excel" : "Could not start Excel") == 0,
        "ExtStartApp said %s", status->text);
  CHECK(stopApp(instance) == 0, "ExtStopApp");

  gridUp();
  gridDown();
  CheckEquipmentXml(equipXml, command, instance, status);

  /* Help opens the help page beside the library, at the driver's topic,
     through the viewer. */
  help();
  snprintf(helpFile, sizeof helpFile, "%s/help.txt", scratch);
  for (wait = 0; wait < 500 && (opened = ReadFile(helpFile)) == NULL; ++wait) {
    struct timespec delay = {0, 10000000L};
    nanosleep(&delay, NULL);
  }
  CHECK(opened != NULL && strncmp(opened, "--flag file:///", 15) == 0 &&
            strstr(opened, "/Conflux.html#topic-1020") != NULL,
        "help opened %s", opened != NULL ? opened : "nothing");

  memset(status, 'q', sizeof *status);
  CHECK(destroy(instance, status) == 0, "destroy");
  CHECK(status->size == 0 && status->text[0] == '\0' && status->text[200] == '\0',
        "status not cleared by destroy");
  CHECK(destroy(second, status) == 0, "destroy second");
  free(holder.bytes);
}

static int RunExitChild(const char* path) {
  ExtInstance instance = NULL;
  ExtStatusRecord status = {EXT_STATUS_RECORD_SIZE, ""};
  library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) return 3;
  EXPORT(create, int32_t, "ExtCreateInstance", (ExtInstance*, ExtStatusRecord*));
  CommandExport command = (CommandExport)(uintptr_t)Resolve("ExtCmd");
  create(&instance, &status);
  /* Another process replaces the settings while this one runs. */
  WriteFile(getenv("GRIDMOOR_REGISTRY"),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
            "\"Vista\"=dword:00000001\n\"Other\"=\"kept\"\n");
  command(instance, NULL, 3, NULL, 0, &status);
  /* Ends with the instance (and its worker) alive. */
  return failures == 0 ? 0 : 4;
}

static void RunExit(const char* path) {
  int childStatus = 0;
  const char* text;
  pid_t child;
  WriteSettings("00000001");
  child = fork();
  if (child == 0) exit(RunExitChild(path));
  CHECK(child > 0 && waitpid(child, &childStatus, 0) == child, "no child");
  CHECK(WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0, "the child ended with %d",
        childStatus);
  text = ReadFile(getenv("GRIDMOOR_REGISTRY"));
  CHECK(text != NULL && strstr(text, "\"PlugIns\"=\"/abi/one.xlam;/abi/two.xla\"") != NULL &&
            strstr(text, "\"Other\"=\"kept\"") != NULL,
        "plug-ins not written back or other settings lost:\n%s", text != NULL ? text : "");
}

int main(int argc, char** argv) {
  if (argc != 4 || getenv("GRIDMOOR_REGISTRY") == NULL) {
    fprintf(stderr,
            "usage: GRIDMOOR_REGISTRY=<settings file> host_abi <library> "
            "direct|threaded|exit <scratch folder>\n");
    return 2;
  }
  snprintf(scratch, sizeof scratch, "%s", argv[3]);
  mkdir(scratch, 0700);
  CheckTextHelpers();
  if (strcmp(argv[2], "exit") == 0) {
    RunExit(argv[1]);
  } else {
    const int threaded = strcmp(argv[2], "threaded") == 0;
    WriteSettings(threaded ? "00000001" : "00000000");
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
      fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
      return 1;
    }
    RunMode(threaded);
    dlclose(library);
  }
  if (failures != 0) {
    fprintf(stderr, "%d check(s) failed\n", failures);
    return 1;
  }
  printf("host_abi %s: all checks passed\n", argv[2]);
  return 0;
}
