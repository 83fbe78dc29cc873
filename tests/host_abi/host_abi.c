/*
 * A host written in C against gridmoor/host.h alone: it loads the driver
 * library with dlopen, as the integration host does, and drives every
 * export in one mode (the mode is fixed when the library loads, so each mode
 * runs in a process of its own).
 *
 *   host_abi <library> direct|threaded <scratch folder>
 *   host_abi <library> exit <scratch folder>
 *
 * Before loading, the host writes the settings file named by
 * GRIDMOOR_REGISTRY: the mode, a plug-in list and a help viewer (a script in
 * the scratch folder that records what it was asked to open). The "exit" run
 * checks that the plug-in list is written back when the process ends with
 * an instance still alive.
 *
 * Runs with GRIDMOOR_SPREADSHEET=none: no spreadsheet application can be
 * started, so instances are created with their failure reported.
 */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "gridmoor/host.h"

static int failures = 0;

#define CHECK(condition, ...)                                         \
  do {                                                                \
    if (!(condition)) {                                               \
      fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #condition); \
      fprintf(stderr, __VA_ARGS__);                                   \
      fprintf(stderr, "\n");                                          \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

/* ---- The exports, resolved by name ---------------------------------------- */

typedef int32_t (*IdentifyFn)(void*, ExtStatusRecord*);
typedef int32_t (*CreateFn)(ExtInstance*, ExtStatusRecord*);
typedef int32_t (*DestroyFn)(ExtInstance, ExtStatusRecord*);
typedef int32_t (*StartAppFn)(ExtInstance, intptr_t, ExtStatusRecord*);
typedef int32_t (*StopAppFn)(ExtInstance);
typedef int32_t (*ConfigureFn)(ExtWindow);
typedef void (*VoidFn)(void);
typedef int32_t (*CmdFn)(ExtInstance, ExtWindow, int32_t, void*, int32_t, ExtStatusRecord*);
typedef int32_t (*EquipXmlFn)(ExtInstance, const ExtString*, uint8_t, const ExtStringList*);
typedef FnSession (*FnCreateFn)(void);
typedef int32_t (*FnDestroyFn)(FnSession);
typedef int32_t (*FnNewFileFn)(FnSession, char*);
typedef int32_t (*FnSetCellFn)(FnSession, const char*, const char*, VARIANT*, char*);

static void* library;

static void* Resolve(const char* name) {
  void* symbol = dlsym(library, name);
  CHECK(symbol != NULL, "export %s is missing", name);
  return symbol;
}

/* Object pointer to function pointer, as POSIX allows for dlsym results. */
#define RESOLVE(type, name) ((type)(uintptr_t)Resolve(name))

static IdentifyFn pExtIdentify;
static CreateFn pExtCreateInstance;
static DestroyFn pExtDestroyInstance;
static StartAppFn pExtStartApp;
static StopAppFn pExtStopApp;
static ConfigureFn pExtConfigure;
static VoidFn pExtHelp;
static CmdFn pExtCmd;
static EquipXmlFn pExtEquipXml;
static VoidFn pQVInitialiseStingray;
static VoidFn pQVUnInitialiseStingray;

static void ResolveAll(void) {
  static const char* const others[] = {"FnCreateInstance",
                                       "FnCreateWorksheetObject",
                                       "FnDestroyInstance",
                                       "FnGetWorksheetCell",
                                       "FnGetWorksheetObject",
                                       "FnNewFile",
                                       "FnOffsetCell",
                                       "FnOpenFile",
                                       "FnPutNumberFormat",
                                       "FnSetWorksheetCell",
                                       "GlpfnTarnShowDataServerString"};
  size_t i;
  pExtIdentify = RESOLVE(IdentifyFn, "ExtIdentify");
  pExtCreateInstance = RESOLVE(CreateFn, "ExtCreateInstance");
  pExtDestroyInstance = RESOLVE(DestroyFn, "ExtDestroyInstance");
  pExtStartApp = RESOLVE(StartAppFn, "ExtStartApp");
  pExtStopApp = RESOLVE(StopAppFn, "ExtStopApp");
  pExtConfigure = RESOLVE(ConfigureFn, "ExtConfigure");
  pExtHelp = RESOLVE(VoidFn, "ExtHelp");
  pExtCmd = RESOLVE(CmdFn, "ExtCmd");
  pExtEquipXml = RESOLVE(EquipXmlFn, "ExtEquipXml");
  pQVInitialiseStingray = RESOLVE(VoidFn, "QVInitialiseStingray");
  pQVUnInitialiseStingray = RESOLVE(VoidFn, "QVUnInitialiseStingray");
  for (i = 0; i < sizeof others / sizeof others[0]; ++i)
    (void)Resolve(others[i]);
}

/* ---- Guarded records -------------------------------------------------------- */

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

static ExtStatusRecord* NewStatus(Guarded* holder) {
  ExtStatusRecord* status;
  *holder = NewRecord(EXT_STATUS_RECORD_SIZE, 0);
  status = (ExtStatusRecord*)(void*)holder->bytes;
  status->size = EXT_STATUS_RECORD_SIZE;
  return status;
}

static uint32_t U32(const unsigned char* bytes, size_t offset) {
  uint32_t value;
  memcpy(&value, bytes + offset, sizeof value);
  return value;
}

/* ---- Settings and the help viewer ------------------------------------------ */

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

static void WriteSettings(const char* vista) {
  char viewer[1200];
  char script[4096];
  char text[8192];
  const char* registry = getenv("GRIDMOOR_REGISTRY");
  if (registry == NULL) {
    fprintf(stderr, "GRIDMOOR_REGISTRY must name the settings file\n");
    exit(2);
  }
  snprintf(viewer, sizeof viewer, "%s/help.txt", scratch);
  remove(viewer); /* from an earlier run */
  snprintf(viewer, sizeof viewer, "%s/viewer.sh", scratch);
  snprintf(script, sizeof script,
           "#!/bin/sh\necho \"$1\" > %s/help.tmp && mv %s/help.tmp %s/help.txt\n", scratch, scratch,
           scratch);
  WriteFile(viewer, script);
  chmod(viewer, 0700);
  snprintf(text, sizeof text,
           "REGEDIT4\n\n"
           "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
           "\"Vista\"=dword:%s\n\n"
           "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel]\n"
           "\"PlugIns\"=\"/abi/one.xlam;/abi/two.xla\"\n"
           "\"HelpViewer\"=\"%s\"\n",
           vista, viewer);
  WriteFile(registry, text);
}

static void Pause(long milliseconds) {
  struct timespec delay;
  delay.tv_sec = milliseconds / 1000;
  delay.tv_nsec = (milliseconds % 1000) * 1000000L;
  nanosleep(&delay, NULL);
}

/* ---- Identification -------------------------------------------------------- */

static void CheckIdentify(void) {
  Guarded holder;
  ExtStatusRecord* status = NewStatus(&holder);
  Guarded id = NewRecord(EXT_IDENTIFY_RECORD_MIN_SIZE, 0x77);
  uint32_t version = EXT_INTERFACE_VERSION;
  uint64_t word264;
  size_t i;
  static const size_t untouched[][2] = {{280, 1284}, {1544, 1548}, {1560, 1688}, {1692, 1696}};

  memcpy(id.bytes, &version, 4);
  CHECK(pExtIdentify(id.bytes, status) == 0, "identify failed: %s", status->text);
  CHECK(U32(id.bytes, EXT_IDENTIFY_WORD4_OFFSET) == 70, "word 4");
  CHECK(strcmp((char*)id.bytes + EXT_IDENTIFY_NAME_OFFSET, "Excel") == 0, "name");
  memcpy(&word264, id.bytes + EXT_IDENTIFY_WORD264_OFFSET, 8);
  CHECK(word264 == 40, "word 264");
  CHECK(U32(id.bytes, 272) == 1 && U32(id.bytes, 276) == 3, "words 272, 276");
  CHECK(strcmp((char*)id.bytes + EXT_IDENTIFY_DESCRIPTION_OFFSET, "Generic MS Excel driver") == 0,
        "description");
  CHECK(U32(id.bytes, 1540) == 1 && U32(id.bytes, 1548) == 1 && U32(id.bytes, 1552) == 1, "flags");
  CHECK(U32(id.bytes, 1556) == 0x01010001 && U32(id.bytes, 1688) == 0 && U32(id.bytes, 1696) == 1,
        "capability words");
  for (i = 0; i < sizeof untouched / sizeof untouched[0]; ++i) {
    size_t b;
    for (b = untouched[i][0]; b < untouched[i][1]; ++b) {
      CHECK(id.bytes[b] == 0x77, "byte %zu of the identification record was written", b);
    }
  }
  CHECK(GuardsIntact(&id), "identification record overrun");
  CHECK(status->size == 0 && status->text[0] == '\0', "status not cleared");

  /* Another interface version. */
  version = 2563;
  memcpy(id.bytes, &version, 4);
  status->size = EXT_STATUS_RECORD_SIZE;
  CHECK(pExtIdentify(id.bytes, status) == 1, "version 2563 accepted");
  CHECK(strcmp(status->text, "Gridmoor.dll is not compatible with this version of Conflux") == 0,
        "message: %s", status->text);
  CHECK(status->size == 0, "status not cleared before the message");

  /* A status record of another size: its bytes as they were but the text. */
  version = EXT_INTERFACE_VERSION;
  memcpy(id.bytes, &version, 4);
  {
    Guarded small = NewRecord(40, 0x66);
    uint32_t size = 40;
    memcpy(small.bytes, &size, 4);
    CHECK(pExtIdentify(id.bytes, (ExtStatusRecord*)(void*)small.bytes) == 1, "size 40 accepted");
    CHECK(GuardsIntact(&small), "a 40-byte status record was written past");
    CHECK(strncmp((char*)small.bytes + 4, "Gridmoor.dll is not compat", 26) == 0, "cut message");
    CHECK(U32(small.bytes, 0) == 40, "size word changed");
    free(small.bytes);
  }
  free(id.bytes);
  free(holder.bytes);
}

/* ---- Commands ---------------------------------------------------------------- */

enum { ANY = 12345 };

typedef struct Route {
  int32_t code;
  size_t recordSize; /* 0: arg is null */
  int32_t iarg;
  int32_t direct;      /* expected result, or ANY */
  int32_t threaded;    /* expected result, or ANY */
  const char* message; /* expected status text, or NULL for any */
} Route;

/* Results of a model without an application, for the operations this build
 * serves; ANY for those that later work fills in. */
static const Route kRoutes[] = {
    {2, EXT_STREAM_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {3, 0, 5, -999, -999, ""},
    {4, 0, 0, 1, 1, "There is no connection to Excel"},
    {5, 4, 0, 1, 1, "There is no connection to Excel"},
    {6, 0, 0, 0, 0, ""},
    {8, 0, 0, 1, 1, "There is no connection to Excel"},
    {9, 0, 0, ANY, ANY, NULL},
    {10, 1100, 0, 0, 0, ""},
    {11, 0, 0, 1, 1, ""},
    {12, 4096, 4096, ANY, ANY, NULL},
    {13, EXT_CASE_DATA_RECORD_SIZE, 0, ANY, ANY, NULL},
    {14, 4096, 4096, ANY, ANY, NULL},
    {15, 0, 0, ANY, ANY, NULL},
    {16, EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE, 0, -1, -1, ""},
    {18, EXT_COMPONENT_LIST_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {20, 1100, 1, 0, 0, ""},
    {23, 0, 0, 1, 1, "There is no connection to Excel"},
    {32, EXT_OPT_PROBLEM_RECORD_SIZE, 0, ANY, -1, NULL},
    {34, EXT_INT_CONTROL_LIST_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {36, EXT_OPT_VALUE_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {37, EXT_OPT_VALUE_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {38, EXT_OPT_VALUE_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {38, EXT_OPT_VALUE_RECORD_MIN_SIZE, 1, ANY, ANY, NULL},
    {39, EXT_OPT_VALUE_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {39, EXT_OPT_VALUE_RECORD_MIN_SIZE, 1, ANY, ANY, NULL},
    {40, 0, 15, ANY, ANY, NULL},
    {48, 0, 0, ANY, ANY, NULL},
    {49, 0, 0, 0, 0, ""},
    {50, EXT_IPR_RECORD_SIZE, 0, ANY, ANY, NULL},
    {51, EXT_IPR_RECORD_SIZE, 0, ANY, ANY, NULL},
    {52, 0, 0, 0, 0, ""},
    {53, 0, 0, 0, 0, ""},
    {54, 0, 0, 0, 0, ""},
    {55, 0, 0, ANY, ANY, NULL},
    {56, 0, 0, ANY, ANY, NULL},
    {62, EXT_NEXT_EVENT_RECORD_MIN_SIZE, 0, 1, 1, ""},
    {63, EXT_DATE_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {64, 0, 1, 0, 0, ""},
    {96, EXT_DS_READ_RECORD_SIZE, 0, ANY, ANY, NULL},
    {97, EXT_DS_WRITE_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {98, 64, 0, ANY, ANY, NULL},
    {99, sizeof(ExtDispatch), 0, 1, 1, NULL},
    {100, 0, 0, ANY, ANY, NULL},
    {101, 0, 0, ANY, ANY, NULL},
    {103, EXT_PUBVAR_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {104, 0, 0, ANY, ANY, NULL},
    {105, EXT_PUBVAR_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {106, 64, 0, -1, -1, ""},
    {107, 64, 3, -1, -1, ""},
    {108, EXT_ADD_PUBVAR_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {109, 0, -1, ANY, ANY, NULL},
    {112, 0, 0, 0, 0, ""},
    {113, 0, 0, 0, 0, ""},
    {114, 0, 0, ANY, ANY, NULL},
    {115, 0, 0, ANY, ANY, NULL},
    {116, 0, 0, ANY, ANY, NULL},
    {117, EXT_PUBVAR2_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {129, 32, 32, 0, 0, ""},
    {136, EXT_FILE_NAME_RECORD_MIN_SIZE, 0, 0, 0, ""},
    {256, EXT_BATCH_FILES_RECORD_MIN_SIZE, 1, ANY, ANY, NULL},
    {258, EXT_BATCH_FILES_RECORD_MIN_SIZE, 0, ANY, ANY, NULL},
    {1, 0, 0, 0, 0, ""},
    {300, 0, 0, 0, 0, ""},
};

static void CheckCommands(ExtInstance instance, int threaded) {
  size_t i;
  for (i = 0; i < sizeof kRoutes / sizeof kRoutes[0]; ++i) {
    const Route* route = &kRoutes[i];
    const int32_t expected = threaded ? route->threaded : route->direct;
    Guarded holder;
    ExtStatusRecord* status = NewStatus(&holder);
    Guarded record = NewRecord(route->recordSize, 0);
    void* arg = route->recordSize > 0 ? record.bytes : NULL;
    int32_t result;
    if (route->code == 10) snprintf((char*)record.bytes, record.size, "%s", scratch);
    if (route->code == 20) strcpy((char*)record.bytes, "/abi/model.dat");
    result = pExtCmd(instance, NULL, route->code, arg, route->iarg, status);
    CHECK(expected == ANY || result == expected, "code %d gave %d, not %d (%s)", route->code,
          result, expected, status->text);
    CHECK(result >= -999 && result <= 1, "code %d gave %d", route->code, result);
    if (route->message != NULL) {
      CHECK(strcmp(status->text, route->message) == 0, "code %d said \"%s\"", route->code,
            status->text);
    }
    CHECK(GuardsIntact(&record), "code %d wrote past its record", route->code);
    CHECK(GuardsIntact(&holder), "code %d wrote past the status record", route->code);
    CHECK(memchr(status->text, '\0', EXT_STATUS_TEXT_SIZE) != NULL, "code %d: text unterminated",
          route->code);
    if (route->code == 129) {
      CHECK(strcmp((char*)record.bytes, "<No file>") == 0, "label %s", (char*)record.bytes);
    }
    if (route->code == 99 && threaded) {
      CHECK(status->text[0] == '\0', "threaded 99 said %s", status->text);
    }
    free(record.bytes);
    free(holder.bytes);
  }

  /* The file name set by 136 is the label of 129; an exact-length label is
   * not terminated. */
  {
    Guarded holder;
    ExtStatusRecord* status = NewStatus(&holder);
    Guarded name = NewRecord(EXT_FILE_NAME_RECORD_MIN_SIZE, 0);
    Guarded label = NewRecord(12, 'x');
    strcpy((char*)name.bytes + EXT_FILE_NAME_TEXT_OFFSET, "/abi/case.xlsx");
    CHECK(pExtCmd(instance, NULL, EXT_CMD_SET_FILE_NAME, name.bytes, 0, status) == 0, "136");
    CHECK(pExtCmd(instance, NULL, EXT_CMD_GET_FILE_LABEL, label.bytes, 9, status) == 0, "129");
    CHECK(memcmp(label.bytes, "/abi/case", 9) == 0 && label.bytes[9] == 'x', "label cut");
    CHECK(GuardsIntact(&label), "label overrun");
    free(name.bytes);
    free(label.bytes);
    free(holder.bytes);
  }

  /* The icon fills the whole surface with opaque pixels. */
  {
    Guarded holder;
    ExtStatusRecord* status = NewStatus(&holder);
    Guarded pixels = NewRecord(20 * 10 * 4, 0);
    ExtDrawSurface surface;
    int p;
    surface.width = 20;
    surface.height = 10;
    surface.stride = 80;
    surface.pixels = (uint32_t*)(void*)pixels.bytes;
    CHECK(pExtCmd(instance, NULL, EXT_CMD_DRAW_ICON, &surface, 0, status) == 1, "code 7");
    for (p = 0; p < 200; ++p)
      CHECK((surface.pixels[p] >> 24) == 0xFF, "pixel %d", p);
    CHECK(GuardsIntact(&pixels), "surface overrun");
    free(pixels.bytes);
    free(holder.bytes);
  }
}

/* ---- One mode --------------------------------------------------------------- */

static void RunMode(int threaded) {
  Guarded holder;
  ExtStatusRecord* status = NewStatus(&holder);
  ExtInstance instance = NULL;
  ExtInstance second = NULL;
  ExtShowDataServerStringHandler* handler;
  char helpFile[1400];
  char* opened = NULL;
  int wait;

  handler = (ExtShowDataServerStringHandler*)Resolve("GlpfnTarnShowDataServerString");
  CHECK(handler != NULL && *handler == NULL, "the handler variable must start as null");

  CheckIdentify();

  CHECK(pExtCreateInstance(&instance, status) == 1, "creation without an application succeeded");
  CHECK(instance != NULL, "no handle after a failed creation");
  CHECK(strncmp(status->text, "An error occurred in creating an Excel instance\n(", 49) == 0,
        "creation message: %s", status->text);
  CHECK(pExtCreateInstance(&second, status) == 1 && second != NULL && second != instance,
        "second instance");

  CheckCommands(instance, threaded);

  memset(status, 'q', sizeof *status);
  status->size = EXT_STATUS_RECORD_SIZE;
  CHECK(pExtStartApp(instance, 0, status) == 1, "ExtStartApp");
  CHECK(strcmp(status->text,
               threaded ? "There is no connection to Excel" : "Could not start Excel") == 0,
        "ExtStartApp said %s", status->text);
  CHECK(pExtStopApp(instance) == 0, "ExtStopApp");
  CHECK(pExtStartApp(instance, 0, status) == 1, "ExtStartApp after ExtStopApp");

  CHECK(pExtConfigure(NULL) == 1, "ExtConfigure without dialogs is a cancel");
  pQVInitialiseStingray();
  pQVInitialiseStingray();
  pQVUnInitialiseStingray();
  CHECK(pExtEquipXml(instance, NULL, 0, NULL) == 1, "ExtEquipXml");

  /* The worksheet functions answer with their failure results. */
  {
    char message[EXT_FN_MESSAGE_SIZE];
    VARIANT value;
    FnCreateFn create = RESOLVE(FnCreateFn, "FnCreateInstance");
    FnDestroyFn destroy = RESOLVE(FnDestroyFn, "FnDestroyInstance");
    FnNewFileFn newFile = RESOLVE(FnNewFileFn, "FnNewFile");
    FnSetCellFn setCell = RESOLVE(FnSetCellFn, "FnSetWorksheetCell");
    FnSession session = create();
    CHECK(newFile(session, message) == 1, "FnNewFile");
    memset(&value, 0, sizeof value);
    value.vt = VT_R8;
    value.dblVal = 1.5;
    CHECK(setCell(session, "Sheet1", "A1", &value, message) == 1, "FnSetWorksheetCell");
    CHECK(value.vt == VT_EMPTY, "the value was not cleared");
    CHECK(destroy(session) == 0, "FnDestroyInstance");
  }

  /* Help opens the help file beside the library through the viewer. */
  pExtHelp();
  snprintf(helpFile, sizeof helpFile, "%s/help.txt", scratch);
  for (wait = 0; wait < 500 && (opened = ReadFile(helpFile)) == NULL; ++wait)
    Pause(10);
  CHECK(opened != NULL, "the help viewer was not started");
  if (opened != NULL) {
    const char* name = strstr(opened, "/Conflux.chm");
    CHECK(name != NULL && opened[0] == '/', "help opened %s", opened);
  }

  memset(status, 'q', sizeof *status);
  CHECK(pExtDestroyInstance(instance, status) == 0, "destroy");
  CHECK(status->size == 0 && status->text[0] == '\0' && status->text[200] == '\0',
        "status not cleared by destroy");
  CHECK(pExtDestroyInstance(second, status) == 0, "destroy second");
  CHECK(pExtDestroyInstance(NULL, status) == 0, "destroy null");
  /* A destroyed instance is answered, not followed. */
  CHECK(pExtCmd(instance, NULL, 3, NULL, 0, status) == 1, "command on a destroyed instance");
  CHECK(status->text[0] != '\0', "no message for a destroyed instance");
  CHECK(pExtStopApp(instance) == 1, "ExtStopApp on a destroyed instance");
  free(holder.bytes);
}

/* ---- The exit hook ----------------------------------------------------------- */

static int RunExitChild(const char* path) {
  ExtInstance instance = NULL;
  ExtStatusRecord status;
  const char* registry = getenv("GRIDMOOR_REGISTRY");
  library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) return 3;
  pExtCreateInstance = RESOLVE(CreateFn, "ExtCreateInstance");
  pExtCmd = RESOLVE(CmdFn, "ExtCmd");
  memset(&status, 0, sizeof status);
  status.size = EXT_STATUS_RECORD_SIZE;
  pExtCreateInstance(&instance, &status);
  /* Another process replaces the settings while this one runs. */
  WriteFile(registry,
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
            "\"Vista\"=dword:00000001\n\"Other\"=\"kept\"\n");
  pExtCmd(instance, NULL, 3, NULL, 0, &status);
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
  CHECK(child > 0, "fork failed");
  CHECK(waitpid(child, &childStatus, 0) == child, "waitpid");
  CHECK(WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0, "the child ended with %d",
        childStatus);
  text = ReadFile(getenv("GRIDMOOR_REGISTRY"));
  CHECK(text != NULL, "no settings file");
  if (text != NULL) {
    CHECK(strstr(text, "\"PlugIns\"=\"/abi/one.xlam;/abi/two.xla\"") != NULL,
          "plug-ins not written back:\n%s", text);
    CHECK(strstr(text, "\"Other\"=\"kept\"") != NULL, "other settings lost:\n%s", text);
  }
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: host_abi <library> direct|threaded|exit <scratch folder>\n");
    return 2;
  }
  snprintf(scratch, sizeof scratch, "%s", argv[3]);
  mkdir(scratch, 0700);
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
    ResolveAll();
    if (failures == 0) RunMode(threaded);
    dlclose(library);
  }
  if (failures != 0) {
    fprintf(stderr, "%d check(s) failed\n", failures);
    return 1;
  }
  printf("host_abi %s: all checks passed\n", argv[2]);
  return 0;
}
