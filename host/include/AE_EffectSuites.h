/*
 * The host suites that an effect may acquire through the basic suite, by exact name and version.
 * Each table lists only the functions this project's module calls.
 */
#ifndef AE_EFFECT_SUITES_H
#define AE_EFFECT_SUITES_H

#include "AE_Effect.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long AEGP_PluginID;
typedef void* AEGP_GlobalRefcon;
typedef struct _AEGP_LayerOpaque* AEGP_LayerH;
typedef A_short AEGP_LayerQuality;

enum {
    AEGP_LayerQual_NONE = -1,
    AEGP_LayerQual_WIREFRAME = 0,
    AEGP_LayerQual_DRAFT = 1,
    AEGP_LayerQual_BEST = 2
};

/* "PF Handle Suite" 2 */
#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion2 2
typedef struct PF_HandleSuite2 {
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle pf_handle);
    void (*host_unlock_handle)(PF_Handle pf_handle);
    void (*host_dispose_handle)(PF_Handle pf_handle);
    A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
} PF_HandleSuite2;

/* "AEGP Utility Suite" 7 */
#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion7 7
typedef struct AEGP_UtilitySuite7 {
    PF_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                    AEGP_PluginID* plugin_id);
} AEGP_UtilitySuite7;

/* "PF Param Utils Suite" 2 */
#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion2 2
typedef struct PF_ParamUtilsSuite2 {
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef* defP);
} PF_ParamUtilsSuite2;

/* "AEGP PF Interface Suite" 1 */
#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1
typedef struct AEGP_PFInterfaceSuite1 {
    PF_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH);
} AEGP_PFInterfaceSuite1;

/* "AEGP Layer Suite" 11 */
#define kAEGPLayerSuite "AEGP Layer Suite"
#define kAEGPLayerSuiteVersion11 11
typedef struct AEGP_LayerSuite11 {
    PF_Err (*AEGP_GetLayerQuality)(AEGP_LayerH layerH, AEGP_LayerQuality* qualityP);
} AEGP_LayerSuite11;

/* "AEGP Iterate Suite" 1 */
#define kAEGPIterateSuite "AEGP Iterate Suite"
#define kAEGPIterateSuiteVersion1 1
typedef struct AEGP_IterateSuite1 {
    PF_Err (*AEGP_GetNumThreads)(A_long* num_threadsPL);
} AEGP_IterateSuite1;

/* "PF Iterate8 Suite" 1 */
#define kPFIterate8Suite "PF Iterate8 Suite"
#define kPFIterate8SuiteVersion1 1
typedef PF_Err (*PF_IterateGenericFunc)(void* refconPV, A_long thread_indexL, A_long i, A_long iterationsL);
typedef struct PF_Iterate8Suite1 {
    PF_Err (*iterate_generic)(A_long iterationsL, void* refconPV, PF_IterateGenericFunc fn_func);
} PF_Iterate8Suite1;

/* "PF World Suite" 1 */
#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion1 1
typedef struct PF_WorldSuite1 {
    PF_Err (*new_world)(PF_ProgPtr effect_ref, A_long width, A_long height, PF_NewWorldFlags flags,
                        PF_EffectWorld* world);
    PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
} PF_WorldSuite1;

/* "PF World Suite" 2 */
#define kPFWorldSuiteVersion2 2
typedef struct PF_WorldSuite2 {
    PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL, PF_Boolean clear_pixB,
                          PF_PixelFormat pixel_format, PF_EffectWorld* worldP);
    PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
    PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
} PF_WorldSuite2;

/* "PF Fill Matte Suite" 2 */
#define kPFFillMatteSuite "PF Fill Matte Suite"
#define kPFFillMatteSuiteVersion2 2
typedef struct PF_FillMatteSuite2 {
    PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
                   PF_EffectWorld* world);
    PF_Err (*fill16)(PF_ProgPtr effect_ref, const PF_Pixel16* color, const PF_Rect* dst_rect,
                     PF_EffectWorld* world);
    PF_Err (*fill_float)(PF_ProgPtr effect_ref, const PF_PixelFloat* color, const PF_Rect* dst_rect,
                         PF_EffectWorld* world);
} PF_FillMatteSuite2;

/* Sampling: "PF Sampling8 Suite" 1, "PF Sampling16 Suite" 1, "PF SamplingFloat Suite" 1 */
typedef struct {
    PF_Fixed x_radius;
    PF_Fixed y_radius;
    PF_Fixed area;
    PF_EffectWorld* src;
    A_long samp_behave;
    A_long allow_asynch;
    A_long motion_blur;
    A_long comp_mode;
    void* mask0;
    A_long reserved[8];
} PF_SampPB;

#define kPFSampling8Suite "PF Sampling8 Suite"
#define kPFSampling16Suite "PF Sampling16 Suite"
#define kPFSamplingFloatSuite "PF SamplingFloat Suite"
#define kPFSamplingSuiteVersion1 1

typedef struct PF_Sampling8Suite1 {
    PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel* dst_pixel);
    PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                              PF_Pixel* dst_pixel);
} PF_Sampling8Suite1;

typedef struct PF_Sampling16Suite1 {
    PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel16* dst_pixel);
    PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                              PF_Pixel16* dst_pixel);
} PF_Sampling16Suite1;

typedef struct PF_SamplingFloatSuite1 {
    PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_PixelFloat* dst_pixel);
    PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                              PF_PixelFloat* dst_pixel);
} PF_SamplingFloatSuite1;

#ifdef __cplusplus
}
#endif

#endif /* AE_EFFECT_SUITES_H */
