/*
 * The host's effect API: records, command codes, flags, error codes and callback tables that an
 * effect module and its host exchange. Plain C, usable from C++. Only what the module and the
 * stand-in host use is defined here; suites live in AE_EffectSuites.h, the basic suite in SPBasic.h.
 */
#ifndef AE_EFFECT_H
#define AE_EFFECT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar types ---------------------------------------------------------------------- */
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef uint8_t A_u_char;
typedef uint8_t PF_Boolean;
typedef int32_t PF_Err;
typedef int32_t PF_Fixed; /* 16.16 fixed point */
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long PF_Cmd;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_InFlags;
typedef A_long PF_NewWorldFlags;
typedef A_long PF_WorldFlags;
typedef A_long PF_Field;
typedef A_long PF_ChannelMask;
typedef A_short PF_RenderOutputFlags;
typedef A_long PF_Quality;
typedef A_u_long PF_PixelFormat;
typedef A_u_long A_HandleSize;
typedef void** PF_Handle;
typedef struct _PF_ProgressInfo* PF_ProgPtr; /* the effect reference: opaque to the module */

/* ---- time and scale -------------------------------------------------------------------- */
typedef struct {
    A_long value;
    A_u_long scale;
} A_Time;

typedef struct {
    A_long num;   /* numerator */
    A_u_long den; /* denominator */
} PF_RationalScale;

/* ---- rectangles and pixels ------------------------------------------------------------- */
typedef struct {
    A_long left, top, right, bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;

typedef struct {
    A_u_char alpha, red, green, blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

typedef struct {
    A_u_short alpha, red, green, blue;
} PF_Pixel16;

typedef struct {
    PF_FpShort alpha, red, green, blue;
} PF_PixelFloat;
typedef PF_PixelFloat PF_Pixel32;

#define PF_MAX_CHAN8 255
#define PF_MAX_CHAN16 32768

/* Pixel formats as PF_GetPixelFormat reports them (four bytes in memory order). */
#define PF_PixelFormat_ARGB32 ((PF_PixelFormat)0x62677261)      /* a r g b */
#define PF_PixelFormat_ARGB64 ((PF_PixelFormat)0x36316561)      /* a e 1 6 */
#define PF_PixelFormat_ARGB128 ((PF_PixelFormat)0x32336561)     /* a e 3 2 */
#define PF_PixelFormat_BGRA32 ((PF_PixelFormat)0x61726762)      /* b g r a */
#define PF_PixelFormat_GPU_BGRA128 ((PF_PixelFormat)0x61724742) /* B G r a */
#define PF_PixelFormat_INVALID ((PF_PixelFormat)0x66646162)     /* b a d f */

/* ---- worlds ------------------------------------------------------------------------------ */
typedef struct PF_LayerDef {
    void* reserved0; /* host private: never touched by a module */
    void* reserved1;
    PF_WorldFlags world_flags;
    void* data;      /* first pixel of the first row */
    A_long rowbytes; /* bytes from one row to the next; may exceed width x pixel size */
    A_long width;
    A_long height;
    PF_LRect extent_hint;
    PF_RationalScale pix_aspect_ratio;
    A_long origin_x; /* layer position of the world's pixel (0, 0) */
    A_long origin_y;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

#define PF_WorldFlag_DEEP 1L
#define PF_NewWorldFlag_CLEAR_PIXELS 1L
#define PF_NewWorldFlag_DEEP_PIXELS 2L

/* ---- parameters -------------------------------------------------------------------------- */
#define PF_MAX_EFFECT_PARAM_NAME_LEN 31
#define PF_MAX_PARAM_VALUE_LEN 31
#define PF_MAX_PARAM_DESCRIPTION_LEN 31
#define PF_MAX_EFFECT_MSG_LEN 255
#define PF_MAX_EFFECT_NAME_LEN 31

enum {
    PF_Param_RESERVED = -1,
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_FLOAT_SLIDER = 10
};

#define PF_ParamFlag_COLLAPSE_TWIRLY (1L << 5)
#define PF_PUI_DISABLED (1L << 5)
#define PF_ValueDisplayFlag_NONE 0
#define PF_ValueDisplayFlag_PERCENT 1

typedef struct {
    PF_ParamValue value;
    A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_ParamValue valid_min, valid_max;
    PF_ParamValue slider_min, slider_max;
    PF_ParamValue dephault;
} PF_SliderDef;

typedef struct {
    PF_Fixed value;
    A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_Fixed valid_min, valid_max;
    PF_Fixed slider_min, slider_max;
    PF_Fixed dephault;
    A_short precision;
    A_short display_flags;
} PF_FixedSliderDef;

typedef struct {
    PF_FpLong value;
    PF_FpLong phase;
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_FpShort valid_min, valid_max;
    PF_FpShort slider_min, slider_max;
    PF_FpShort dephault;
    A_short precision;
    A_short display_flags;
    A_u_long fs_flags;
    PF_FpShort curve_tolerance;
    PF_Boolean useExponent;
    PF_FpShort exponent;
} PF_FloatSliderDef;

typedef struct {
    PF_Fixed value;
    PF_Fixed dephault;
    PF_Fixed valid_min, valid_max;
} PF_AngleDef;

typedef struct {
    A_long value;
    A_short num_choices;
    A_short dephault;
    union {
        const A_char* namesptr;
    } u;
} PF_PopupDef;

typedef union {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_AngleDef ad;
    PF_PopupDef pd;
    PF_FloatSliderDef fs_d;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
    union {
        A_long id;
        A_long change_flags;
    } uu;
    PF_ParamUIFlags ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamType param_type;
    A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    PF_ParamFlags flags;
    A_long unused;
    PF_ParamDefUnion u;
} PF_ParamDef, *PF_ParamDefPtr, **PF_ParamList;

/* ---- commands, flags, errors ------------------------------------------------------------- */
enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_UNUSED_0 = 2,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
    PF_Cmd_COMPLETELY_GENERAL = 17,
    PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
    PF_Cmd_AUDIO_RENDER = 19,
    PF_Cmd_AUDIO_SETUP = 20,
    PF_Cmd_AUDIO_SETDOWN = 21,
    PF_Cmd_ARBITRARY_CALLBACK = 22,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24
};

#define PF_OutFlag_NONE 0L
#define PF_OutFlag_DISPLAY_ERROR_MESSAGE (1L << 8)
#define PF_OutFlag_REFRESH_UI (1L << 17)
#define PF_OutFlag_DEEP_COLOR_AWARE (1L << 25)
#define PF_OutFlag_SEND_UPDATE_PARAMS_UI (1L << 26)
#define PF_OutFlag2_SUPPORTS_SMART_RENDER (1L << 10)
#define PF_OutFlag2_FLOAT_COLOR_AWARE (1L << 12)

#define PF_Stage_DEVELOP 0
#define PF_Stage_ALPHA 1
#define PF_Stage_BETA 2
#define PF_Stage_RELEASE 3

/* PF_InData::quality: what the user asked for in the viewer. */
#define PF_Quality_LO 0
#define PF_Quality_HI 1

/* The host's version word: build in bits 0-8, stage 9-10, revision 11-14, minor 15-18, major 19-21. */
#define PF_VERSION(vers, subvers, bugvers, stage, build)                                   \
    ((A_u_long)((((vers)&0x7) << 19) | (((subvers)&0xF) << 15) | (((bugvers)&0xF) << 11) | \
                (((stage)&0x3) << 9) | ((build)&0x1FF)))

enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517
};

/* ---- callback tables handed to the module in PF_InData ------------------------------------ */
typedef struct {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
} PF_InteractCallbacks;

typedef struct {
    double (*atan)(double);
    double (*atan2)(double y, double x);
    double (*ceil)(double);
    double (*cos)(double);
    double (*exp)(double);
    double (*fabs)(double);
    double (*floor)(double);
    double (*fmod)(double x, double y);
    double (*hypot)(double x, double y);
    double (*log)(double);
    double (*log10)(double);
    double (*pow)(double x, double y);
    double (*sin)(double);
    double (*sqrt)(double);
    double (*tan)(double);
    int (*sprintf)(A_char*, const A_char*, ...);
    A_char* (*strcpy)(A_char*, const A_char*);
    double (*asin)(double);
    double (*acos)(double);
} PF_ANSICallbacks;

typedef struct _PF_UtilCallbacks {
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                   PF_Rect* dst_r);
    PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
                   PF_EffectWorld* world);
    PF_ANSICallbacks ansi;
} PF_UtilCallbacks;

struct SPBasicSuite;

typedef struct PF_InData {
    PF_InteractCallbacks inter;
    struct _PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    PF_Quality quality;
    A_long version_major, version_minor;
    A_long serial_num;
    A_long appl_id;
    A_long num_params;
    A_long what_cpu;
    A_long what_fpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    PF_Field field;
    PF_Fixed shutter_angle;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    A_long output_origin_x;
    A_long output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    PF_InFlags in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    struct SPBasicSuite* pica_basicP;
    A_long pre_effect_source_origin_x;
    A_long pre_effect_source_origin_y;
    PF_Fixed shutter_phase;
} PF_InData;

typedef struct {
    A_long h, v;
} PF_Point;

typedef struct PF_OutData {
    A_u_long my_version;
    A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
    PF_Handle global_data;
    A_long num_params;
    PF_Handle sequence_data;
    A_long flat_sdata_size;
    PF_Handle frame_data;
    A_long width;
    A_long height;
    PF_Point origin;
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    PF_OutFlags2 out_flags2;
} PF_OutData;

/* ---- smart render ------------------------------------------------------------------------ */
#define PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS 0x1

typedef struct {
    PF_LRect rect;
    PF_Field field;
    PF_ChannelMask channel_mask;
    PF_Boolean preserve_rgb_of_zero_alpha;
    char unused[3];
    A_long reserved[4];
} PF_RenderRequest;

typedef struct {
    PF_LRect result_rect;     /* what the checked-out layer will deliver, in layer coordinates */
    PF_LRect max_result_rect; /* the most it could deliver at any request */
    PF_RationalScale par;
    A_long solid;
    PF_Boolean reservedB[3];
    A_long ref_width;
    A_long ref_height;
    A_long reserved[6];
} PF_CheckoutResult;

typedef struct {
    PF_RenderRequest output_request;
    A_short bitdepth;
} PF_PreRenderInput;

typedef void (*PF_DeletePreRenderDataFunc)(void* pre_render_data);

typedef struct {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_Boolean solid;
    PF_Boolean reserved;
    PF_RenderOutputFlags flags;
    void* pre_render_data;
    PF_DeletePreRenderDataFunc delete_pre_render_data_func;
} PF_PreRenderOutput;

typedef struct {
    PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_idL,
                             const PF_RenderRequest* req, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_CheckoutResult* checkout_result);
} PF_PreRenderCallbacks;

typedef struct {
    PF_PreRenderInput* input;
    PF_PreRenderOutput* output;
    PF_PreRenderCallbacks* cb;
} PF_PreRenderExtra;

typedef struct {
    PF_RenderRequest output_request;
    A_short bitdepth;
    void* pre_render_data;
} PF_SmartRenderInput;

typedef struct {
    PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL, PF_EffectWorld** pixels);
    PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL);
    PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
} PF_SmartRenderCallbacks;

typedef struct {
    PF_SmartRenderInput* input;
    PF_SmartRenderCallbacks* cb;
} PF_SmartRenderExtra;

/* ---- the entry point --------------------------------------------------------------------- */
#if defined(_WIN32)
#define PF_ENTRY_EXPORT __declspec(dllexport)
#else
#define PF_ENTRY_EXPORT __attribute__((visibility("default")))
#endif

typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra);

#define PF_ENTRY_POINT_NAME "EntryPointFunc"

#ifdef __cplusplus
}
#endif

#endif /* AE_EFFECT_H */
