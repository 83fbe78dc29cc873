/*
 * The layouts of the records a host passes to ExtIdentify and ExtCmd, and
 * the command codes: byte offsets and sizes in the conventions of
 * gridmoor/host.h, which includes this header. Hosts include gridmoor/host.h.
 */
#ifndef GRIDMOOR_HOST_RECORDS_H
#define GRIDMOOR_HOST_RECORDS_H

/* ---- Identification record (ExtIdentify) -------------------------------- */

/* The words at 4 ... 1696 are capability and version words the host
 * interprets; the driver writes exactly these values. What each word means
 * is not known, so each is named by its offset (EXT_IDENTIFY_WORD<offset>).
 * Bytes 280-1283, 1544-1547, 1560-1687 and 1692-1695 are never written. */
enum {
  EXT_INTERFACE_VERSION = 2564,
  EXT_IDENTIFY_RECORD_MIN_SIZE = 1700,
  EXT_IDENTIFY_VERSION_OFFSET = 0, /* u32, set by the host */
  EXT_IDENTIFY_WORD4_OFFSET = 4,   /* u32 */
  EXT_IDENTIFY_WORD4_VALUE = 70,
  EXT_IDENTIFY_NAME_OFFSET = 8,
  EXT_IDENTIFY_NAME_SIZE = 256,
  EXT_IDENTIFY_WORD264_OFFSET = 264, /* u64 */
  EXT_IDENTIFY_WORD264_VALUE = 40,
  EXT_IDENTIFY_WORD272_OFFSET = 272, /* u32 */
  EXT_IDENTIFY_WORD272_VALUE = 1,
  EXT_IDENTIFY_WORD276_OFFSET = 276, /* u32 */
  EXT_IDENTIFY_WORD276_VALUE = 3,
  EXT_IDENTIFY_DESCRIPTION_OFFSET = 1284,
  EXT_IDENTIFY_DESCRIPTION_SIZE = 256,
  EXT_IDENTIFY_WORD1540_OFFSET = 1540, /* u32 */
  EXT_IDENTIFY_WORD1540_VALUE = 1,
  EXT_IDENTIFY_WORD1548_OFFSET = 1548, /* u32 */
  EXT_IDENTIFY_WORD1548_VALUE = 1,
  EXT_IDENTIFY_WORD1552_OFFSET = 1552, /* u32 */
  EXT_IDENTIFY_WORD1552_VALUE = 1,
  EXT_IDENTIFY_WORD1556_OFFSET = 1556, /* u32 */
  EXT_IDENTIFY_WORD1556_VALUE = 0x01010001,
  EXT_IDENTIFY_WORD1688_OFFSET = 1688, /* u32 */
  EXT_IDENTIFY_WORD1688_VALUE = 0,
  EXT_IDENTIFY_WORD1696_OFFSET = 1696, /* u32 */
  EXT_IDENTIFY_WORD1696_VALUE = 1
};

/* ---- Host command codes (ExtCmd) ---------------------------------------- */

/* arg and iarg per code; "status" is always the last ExtCmd argument. Codes
 * not listed do nothing and return 0 (11 returns 1). What codes 3, 106, 107,
 * 112 and 113 mean is not known; the driver gives them fixed answers.
 * EXT_CMD_QUERY_ITEM_84 and _85 (codes 106 and 107) are named after the
 * places 84 and 85 of the driver's operations that serve them. */
enum {
  EXT_CMD_ENUM_STREAMS = 2,            /* arg: stream record; iarg: query kind */
  EXT_CMD_QUERY_NUMBER = 3,            /* iarg */
  EXT_CMD_RELOAD_WORKBOOK = 4,         /* - */
  EXT_CMD_EDIT_CASE = 5,               /* arg: uint32_t* changed; iarg: dialog kind */
  EXT_CMD_DRAW_ICON = 7,               /* arg: ExtDrawSurface* */
  EXT_CMD_SAVE_CASE_WORKBOOK = 8,      /* arg: file name text or NULL */
  EXT_CMD_QUERY_COMP = 9,              /* - */
  EXT_CMD_CHANGE_FILE_DIRECTORY = 10,  /* arg: directory text */
  EXT_CMD_WRITE_CASE_DATA = 12,        /* arg: buffer; iarg: capacity */
  EXT_CMD_READ_CASE_DATA = 13,         /* arg: case-data record */
  EXT_CMD_WRITE_MODEL_DATA = 14,       /* arg: buffer; iarg: capacity */
  EXT_CMD_READ_MODEL_DATA = 15,        /* arg, iarg: not used */
  EXT_CMD_GET_FILE_DESCRIPTION = 16,   /* arg: file-description record; iarg */
  EXT_CMD_GET_STREAM_COMPOSITION = 18, /* arg: component list; iarg: stream */
  EXT_CMD_SET_MODEL_DATA_FILE = 20,    /* arg: path text, kept by the driver */
  EXT_CMD_SET_LABEL = 21,              /* arg: label text */
  EXT_CMD_OPEN_CASE_WORKBOOK = 23,     /* - */
  EXT_CMD_SETUP_OPTIMISATION = 32,     /* arg: problem record; iarg: mode */
  EXT_CMD_CHECK_INTEGER_CONTROLS = 34, /* arg: integer-control list */
  EXT_CMD_GET_OBJECTIVE_FUNCTION = 36, /* arg: value record */
  EXT_CMD_GET_CONSTRAINTS = 37,        /* arg: value record */
  EXT_CMD_GET_CONTROLS = 38,           /* arg: value record; iarg != 0: integer */
  EXT_CMD_SET_CONTROLS = 39,           /* arg: value record; iarg != 0: integer */
  EXT_CMD_CLEAR_OPTIMISATION = 40,     /* iarg: EXT_OPT_CLEAR_* mask */
  EXT_CMD_START_OF_RUN = 48,
  EXT_CMD_NEXT_TIMESTEP = 49,
  EXT_CMD_GET_IPR = 50, /* arg: IPR record */
  EXT_CMD_SET_IPR = 51, /* arg: IPR record */
  EXT_CMD_END_OF_RUN = 55,
  EXT_CMD_STOP_RUN = 56,              /* same as 55 */
  EXT_CMD_GET_NEXT_EVENT = 62,        /* arg: next-event record */
  EXT_CMD_SET_DATE = 63,              /* arg: date record */
  EXT_CMD_SET_INTERFACE_VISIBLE = 64, /* iarg > 0: show */
  EXT_CMD_GET_DATA_SERVER_VALUE = 96, /* arg: data-server read record */
  EXT_CMD_SET_DATA_SERVER_VALUE = 97, /* arg: data-server write record */
  EXT_CMD_EXECUTE_COMMAND = 98,       /* arg: command text */
  EXT_CMD_GET_DISPATCH = 99,          /* arg: ExtDispatch* */
  EXT_CMD_PRE_SOLVE = 100,
  EXT_CMD_POST_SOLVE = 101,
  EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE = 103, /* arg: published-variable record */
  EXT_CMD_EDIT_PUBLISHED_VARIABLES = 104,
  EXT_CMD_EVAL_PUBLISHED_VARIABLES = 105, /* arg: published-variable record */
  EXT_CMD_QUERY_ITEM_84 = 106,
  EXT_CMD_QUERY_ITEM_85 = 107,
  EXT_CMD_ADD_PUBLISHED_VARIABLE = 108, /* arg: add record */
  EXT_CMD_DEL_PUBLISHED_VARIABLE = 109, /* iarg: handle, -1 all */
  EXT_CMD_EVENT_112 = 112,
  EXT_CMD_EVENT_113 = 113,
  EXT_CMD_START_OF_TIMESTEP = 114,
  EXT_CMD_END_OF_TIMESTEP = 115,
  EXT_CMD_POST_SOLVE_2 = 116,
  EXT_CMD_EVAL_PUBLISHED_VARIABLES_2 = 117, /* arg: published-variable record 2 */
  EXT_CMD_GET_FILE_LABEL = 129,             /* arg: char buffer; iarg: its size */
  EXT_CMD_SET_FILE_NAME = 136,              /* arg: file-name record */
  EXT_CMD_READ_BATCH_PROBLEM = 256,         /* arg: batch-files record; iarg > 0: replace */
  EXT_CMD_WRITE_BATCH_OUTPUT = 258          /* arg: batch-files record */
};

/* ---- Argument layouts of single commands -------------------------------- */

enum {
  /* Code 136: the workbook path at byte 4. The host's room for it is not
   * fixed; the driver reads at most this many bytes. */
  EXT_FILE_NAME_TEXT_OFFSET = 4,
  EXT_FILE_NAME_TEXT_SIZE = 1024,
  EXT_FILE_NAME_RECORD_MIN_SIZE = 1028,

  /* Code 62, written when a next event is set. */
  EXT_NEXT_EVENT_RECORD_MIN_SIZE = 16,
  EXT_NEXT_EVENT_FLAG_OFFSET = 4, /* byte 1 */
  EXT_NEXT_EVENT_TIME_OFFSET = 8, /* double */

  /* Code 63: a record of doubles; the fourth is the run date minus one day. */
  EXT_DATE_RECORD_MIN_SIZE = 32,
  EXT_DATE_RECORD_DATE_OFFSET = 24,

  /* The record the driver passes to its own open operation when it starts:
   * all zero but the u32 at 24, which is 1. */
  EXT_OPEN_RECORD_SIZE = 1064,
  EXT_OPEN_RECORD_FLAG_OFFSET = 24
};

/* ---- File description record (code 16) ---------------------------------- */

enum {
  EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE = 521,
  EXT_FILE_DESCRIPTION_INDEX_OFFSET = 4, /* i32, set by the host */
  EXT_FILE_DESCRIPTION_PATH_OFFSET = 8,
  EXT_FILE_DESCRIPTION_PATH_SIZE = 256,
  EXT_FILE_DESCRIPTION_TEXT_OFFSET = 264,
  EXT_FILE_DESCRIPTION_TEXT_SIZE = 256,
  EXT_FILE_DESCRIPTION_PRESENT_OFFSET = 520 /* byte 1 */
};

/* ---- Case-data record (code 13) ------------------------------------------ */

enum {
  EXT_CASE_DATA_RECORD_SIZE = 102420,
  EXT_CASE_DATA_ARCHIVE_OFFSET = 4,
  EXT_CASE_DATA_ARCHIVE_CAPACITY = 102400,
  EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET = 102404, /* u32 */
  EXT_CASE_DATA_MODEL_PATH_OFFSET = 102408,   /* pointer to the model file path */
  EXT_CASE_DATA_NO_RELOCATION_OFFSET = 102416 /* u32, non-zero: keep the path */
};

/* ---- Stream record (code 2) --------------------------------------------- */

/* The host's room for the description is not fixed; the driver assumes 64
 * bytes and writes only its own 13-byte text there. */
enum {
  EXT_STREAM_RECORD_MIN_SIZE = 160,
  EXT_STREAM_KIND_OFFSET = 4, /* u32, EXT_STREAM_KIND_* */
  EXT_STREAM_IS_OUTPUT_OFFSET = 8,
  EXT_STREAM_WORD12_OFFSET = 12, /* u32 0 */
  EXT_STREAM_WORD16_OFFSET = 16, /* u32 0 */
  EXT_STREAM_WORD20_OFFSET = 20, /* u32 0 */
  EXT_STREAM_WORD24_OFFSET = 24, /* u32 1 */
  EXT_STREAM_CURSOR_OFFSET = 28, /* u32 handle; 0xFFFFFFFF starts */
  EXT_STREAM_NAME_OFFSET = 32,
  EXT_STREAM_NAME_SIZE = 64,
  EXT_STREAM_DESCRIPTION_OFFSET = 96,
  EXT_STREAM_DESCRIPTION_SIZE = 64,
  EXT_STREAM_KIND_OUTPUT = 1,
  EXT_STREAM_KIND_INPUT = 2
};

/* ---- IPR record (codes 50 and 51) ------------------------------------- */

/* Doubles in internal units; per-component arrays hold 100 doubles. */
enum {
  EXT_IPR_RECORD_SIZE = 105368,
  EXT_IPR_SIZE_OFFSET = 0,   /* u32, must be EXT_IPR_RECORD_SIZE */
  EXT_IPR_HANDLE_OFFSET = 4, /* u32 stream handle */
  EXT_IPR_OIL_RATE_OFFSET = 16,
  EXT_IPR_WATER_RATE_OFFSET = 96,
  EXT_IPR_GAS_RATE_OFFSET = 176,
  EXT_IPR_PRESSURE_OFFSET = 256,
  EXT_IPR_MASS_RATE_OFFSET = 336,
  EXT_IPR_TEMPERATURE_OFFSET = 416,
  EXT_IPR_COMPOSITION_PRESENT_OFFSET = 496, /* u32 */
  EXT_IPR_COMPONENT_COUNT_OFFSET = 508,     /* u32 */
  EXT_IPR_COMPONENT_FLAGS_OFFSET = 2112,    /* u32, EXT_IPR_HAS_* bits */
  EXT_IPR_CRITICAL_TEMPERATURE_OFFSET = 2120,
  EXT_IPR_CRITICAL_PRESSURE_OFFSET = 2920,
  EXT_IPR_CRITICAL_VOLUME_OFFSET = 3720,
  EXT_IPR_ACENTRICITY_OFFSET = 4520,
  EXT_IPR_MOLECULAR_WEIGHT_OFFSET = 5320,
  EXT_IPR_SPECIFIC_GRAVITY_OFFSET = 6120,
  EXT_IPR_BOILING_POINT_OFFSET = 6920,
  EXT_IPR_VOLUME_SHIFT_OFFSET = 7720,
  EXT_IPR_OMEGA_A_OFFSET = 8520,
  EXT_IPR_OMEGA_B_OFFSET = 9320,
  EXT_IPR_PARACHOR_OFFSET = 10120,
  EXT_IPR_INTERACTION_OFFSET = 10920, /* [i][j] at +800*i + 8*j */
  EXT_IPR_INTERACTION_ROW_SIZE = 800,
  EXT_IPR_EOS_MODEL_OFFSET = 91020, /* u32, EXT_EOS_* */
  EXT_IPR_COSTALD_ACENT_OFFSET = 91024,
  EXT_IPR_COSTALD_VCRIT_OFFSET = 91824,
  EXT_IPR_MOLE_FRACTION_OFFSET = 94224,
  EXT_IPR_OIL_GRAVITY_OFFSET = 102224,
  EXT_IPR_GAS_GRAVITY_OFFSET = 102232,
  EXT_IPR_WATER_GRAVITY_OFFSET = 102240,
  EXT_IPR_MAX_COMPONENTS = 100,

  EXT_IPR_HAS_CRITICAL_TEMPERATURE = 0x1,
  EXT_IPR_HAS_CRITICAL_PRESSURE = 0x2,
  EXT_IPR_HAS_CRITICAL_VOLUME = 0x4,
  EXT_IPR_HAS_ACENTRICITY = 0x8,
  EXT_IPR_HAS_MOLECULAR_WEIGHT = 0x10,
  EXT_IPR_HAS_SPECIFIC_GRAVITY = 0x20,
  EXT_IPR_HAS_BOILING_POINT = 0x40,
  EXT_IPR_HAS_VOLUME_SHIFT = 0x80,
  EXT_IPR_HAS_OMEGA_A = 0x100,
  EXT_IPR_HAS_OMEGA_B = 0x200,
  EXT_IPR_HAS_PARACHOR = 0x400,
  EXT_IPR_HAS_INTERACTION = 0x800,
  EXT_IPR_HAS_COSTALD_ACENT = 0x1000,
  EXT_IPR_HAS_COSTALD_VCRIT = 0x2000,

  EXT_EOS_OTHER = 0,
  EXT_EOS_PR = 1,
  EXT_EOS_SRK = 2
};

/* ---- Component list record (code 18) ------------------------------------ */

enum {
  EXT_COMPONENT_LIST_RECORD_MIN_SIZE = 1608, /* room for 100 names */
  EXT_COMPONENT_LIST_COUNT_OFFSET = 4,       /* u32 */
  EXT_COMPONENT_LIST_NAMES_OFFSET = 8,       /* name i at +16*i */
  EXT_COMPONENT_LIST_NAME_SIZE = 16,
  EXT_COMPONENT_LIST_MAX_COMPONENTS = 100
};

/* ---- Optimisation records (codes 32 to 40) -------------------------------- */

/* Problem record. Entry i of a kind is at its *_OFFSET + i * its entry size.
 * At most EXT_OPT_PROBLEM_MAX_ITEMS items of each kind are written; the
 * status text counts any left out, and the result is still EXT_RESULT_OK.
 * Control and integer-control names and control units are cut to their field
 * and terminated; objective and constraint names and units and state labels
 * fill their whole field, without a NUL when they are that long. */
enum {
  EXT_OPT_PROBLEM_RECORD_SIZE = 126912,
  EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET = 4, /* byte */
  EXT_OPT_PROBLEM_OBJ_NAME_OFFSET = 5,
  EXT_OPT_PROBLEM_OBJ_NAME_SIZE = 64,
  EXT_OPT_PROBLEM_OBJ_UNIT_OFFSET = 69,
  EXT_OPT_PROBLEM_OBJ_UNIT_SIZE = 16,
  EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET = 85, /* byte */
  EXT_OPT_PROBLEM_CONTROLS_OFFSET = 224,
  EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET = 22624, /* i32 */
  EXT_OPT_PROBLEM_CONSTRAINTS_OFFSET = 22768,
  EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET = 45968, /* i32 */
  EXT_OPT_PROBLEM_INT_CONTROLS_OFFSET = 46108,
  EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET = 126908, /* i32 */
  EXT_OPT_PROBLEM_MAX_ITEMS = 100                    /* per kind */
};

enum {
  EXT_OPT_CONTROL_ENTRY_SIZE = 224,
  EXT_OPT_CONTROL_NAME_OFFSET = 0,
  EXT_OPT_CONTROL_NAME_SIZE = 32,
  EXT_OPT_CONTROL_UNIT_OFFSET = 32,
  EXT_OPT_CONTROL_UNIT_SIZE = 16,
  EXT_OPT_CONTROL_HAS_LOWER_OFFSET = 48, /* byte */
  EXT_OPT_CONTROL_LOWER_OFFSET = 56,     /* double */
  EXT_OPT_CONTROL_HAS_UPPER_OFFSET = 64, /* byte */
  EXT_OPT_CONTROL_UPPER_OFFSET = 72,     /* double */
  EXT_OPT_CONTROL_HANDLE_OFFSET = 80,    /* i32 */
  EXT_OPT_CONTROL_WORD88_OFFSET = 88     /* double, EXT_UNDEFINED_VALUE */
};

enum {
  EXT_OPT_CONSTRAINT_ENTRY_SIZE = 232,
  EXT_OPT_CONSTRAINT_NAME_OFFSET = 0,
  EXT_OPT_CONSTRAINT_NAME_SIZE = 64,
  EXT_OPT_CONSTRAINT_UNIT_OFFSET = 64,
  EXT_OPT_CONSTRAINT_UNIT_SIZE = 16,
  EXT_OPT_CONSTRAINT_LIMIT_OFFSET = 80,  /* double */
  EXT_OPT_CONSTRAINT_TYPE_OFFSET = 88,   /* i32, EXT_CONSTRAINT_* */
  EXT_OPT_CONSTRAINT_HANDLE_OFFSET = 92, /* i32 */
  EXT_OPT_CONSTRAINT_BYTE96_OFFSET = 96, /* byte 0 */
  EXT_CONSTRAINT_LESS = 0,
  EXT_CONSTRAINT_EQUAL = 1,
  EXT_CONSTRAINT_GREATER = 2
};

enum {
  EXT_OPT_INT_CONTROL_ENTRY_SIZE = 808,
  EXT_OPT_INT_CONTROL_NAME_OFFSET = 0,
  EXT_OPT_INT_CONTROL_NAME_SIZE = 32,
  EXT_OPT_INT_CONTROL_HANDLE_OFFSET = 32,      /* i32 */
  EXT_OPT_INT_CONTROL_STATE_COUNT_OFFSET = 36, /* i32 */
  EXT_OPT_INT_CONTROL_LABELS_OFFSET = 40,      /* label k at +32*k */
  EXT_OPT_INT_CONTROL_LABEL_SIZE = 32,
  EXT_OPT_INT_CONTROL_MAX_STATES = 20
};

/* Value record of codes 36 to 39. */
enum {
  EXT_OPT_VALUE_RECORD_MIN_SIZE = 16,
  EXT_OPT_VALUE_HANDLE_OFFSET = 4, /* i32 */
  EXT_OPT_VALUE_VALUE_OFFSET = 8   /* double */
};

/* Integer-control list of code 34. The host's room for handles is not fixed;
 * the driver reads at most as many as the problem record has entries. */
enum {
  EXT_INT_CONTROL_LIST_COUNT_OFFSET = 816,   /* i32 */
  EXT_INT_CONTROL_LIST_HANDLES_OFFSET = 820, /* i32 each */
  EXT_INT_CONTROL_LIST_MAX_HANDLES = 100,
  EXT_INT_CONTROL_LIST_RECORD_MIN_SIZE = 1220
};

/* Mask bits of code 40. */
enum {
  EXT_OPT_CLEAR_OBJECTIVE = 1,
  EXT_OPT_CLEAR_CONSTRAINTS = 2,
  EXT_OPT_CLEAR_CONTROLS = 4,
  EXT_OPT_CLEAR_INT_CONTROLS = 8
};

/* ---- Published-variable records (codes 103 to 117) -------------------- */

/* Codes 103 and 105. The host's room for the unit is not fixed; the driver
 * assumes 16 bytes, as for every other unit field. Texts the driver writes
 * (name, unit, value) are cut to their field at a UTF-8 character boundary
 * and always terminated; a value the host sets is read within its 64 bytes,
 * terminated or not. */
enum {
  EXT_PUBVAR_RECORD_MIN_SIZE = 89,
  EXT_PUBVAR_HANDLE_OFFSET = 4, /* i32 */
  EXT_PUBVAR_FLAG_OFFSET = 8,   /* byte: 1 set, 0 get */
  EXT_PUBVAR_TEXT_OFFSET = 9,   /* value, or the name for code 103 */
  EXT_PUBVAR_TEXT_SIZE = 64,
  EXT_PUBVAR_UNIT_OFFSET = 73,
  EXT_PUBVAR_UNIT_SIZE = 16
};

/* Code 117: the text is passed by address both ways. A text the driver hands
 * out stays valid until ten further texts have been handed out. */
enum {
  EXT_PUBVAR2_RECORD_MIN_SIZE = 24,
  EXT_PUBVAR2_HANDLE_OFFSET = 4,       /* i32 */
  EXT_PUBVAR2_FLAG_OFFSET = 8,         /* byte: 1 set, 0 get */
  EXT_PUBVAR2_TEXT_POINTER_OFFSET = 16 /* const char* */
};

/* Code 108. */
enum {
  EXT_ADD_PUBVAR_RECORD_MIN_SIZE = 40,
  EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET = 8, /* const char* */
  EXT_ADD_PUBVAR_CELL_POINTER_OFFSET = 16,     /* const char* */
  EXT_ADD_PUBVAR_NAME_POINTER_OFFSET = 24,     /* const char* */
  EXT_ADD_PUBVAR_MASKING_OFFSET = 32,          /* byte; set: refused */
  EXT_ADD_PUBVAR_HANDLE_OFFSET = 36            /* i32, written by the driver */
};

/* ---- Batch-files record (codes 256 and 258) ------------------------------ */

/* Code 258 reads its output path where code 256 reads the report path. The
 * host's room for that path is not fixed; the driver assumes 1024 bytes. */
enum {
  EXT_BATCH_FILES_RECORD_MIN_SIZE = 2052,
  EXT_BATCH_FILES_INPUT_PATH_OFFSET = 4,
  EXT_BATCH_FILES_INPUT_PATH_SIZE = 1024,
  EXT_BATCH_FILES_REPORT_PATH_OFFSET = 1028,
  EXT_BATCH_FILES_REPORT_PATH_SIZE = 1024
};

/* ---- Data-server records (codes 96 and 97) ------------------------------ */

enum {
  EXT_DS_READ_RECORD_SIZE = 528,
  EXT_DS_READ_SIZE_OFFSET = 0,        /* u32, must be 528 */
  EXT_DS_READ_TAG_POINTER_OFFSET = 8, /* const char* */
  EXT_DS_READ_RESULT_OFFSET = 16,
  EXT_DS_READ_RESULT_SIZE = 512
};

enum {
  EXT_DS_WRITE_RECORD_MIN_SIZE = 24,
  EXT_DS_WRITE_TAG_POINTER_OFFSET = 8,   /* const char* */
  EXT_DS_WRITE_VALUE_POINTER_OFFSET = 16 /* const char* */
};

#endif
