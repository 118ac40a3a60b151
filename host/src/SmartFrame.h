// One frame of the smart-render protocol as the host runs it: the input layer at the render's
// downsampling, the records handed to PF_Cmd_SMART_PRE_RENDER and PF_Cmd_SMART_RENDER, and the
// callbacks checkout_layer, checkout_layer_pixels, checkin_layer_pixels and checkout_output.
//
// The callbacks find their frame through the effect: attach() stores the frame as the effect's
// render context. Worlds handed to the module are host worlds (padded rows, guard bands); at the
// end of the frame the host checks in whatever is still checked out, disposes of the pre-render
// data handle, and records in the ledger as faults an output written outside its pixels or an
// input that was written to.
//
// A frame, in order:
//     SmartFrame frame(layerImage, {1, 2}, {1, 2});
//     frame.attach(effect);
//     PF_InData in = effect.makeInData();  frame.prepareInData(in);
//     effect.command(PF_Cmd_SMART_PRE_RENDER, in, out, params, nullptr, frame.preRenderExtra());
//     effect.command(PF_Cmd_SMART_RENDER, in, out, params, nullptr, frame.smartRenderExtra());
//     frame.finish();
//     Image result = frame.output(PF_LRect{0, 0, frame.layerWidth(), frame.layerHeight()});
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace vhost {

class Effect;

class SmartFrame {
public:
    struct Options {
        // The output rectangle the host asks for; by default the whole (downsampled) layer.
        std::optional<PF_LRect> request;
        // Output pixels start as kWorldUnclearedByte (true) so that pixels a render forgets to
        // write stand out, or cleared to zero (false).
        bool poisonOutput = true;
        // Whether the output's pixels are marked (or cleared) at all: a caller that never looks
        // at pixels the module did not write (it only takes a whole, successful render) saves the
        // pass over the frame that marks them. Unfilled pixels hold what the storage held.
        bool fillOutput = true;
        // The host's proofs, which cost whole passes over the frame: input worlds are copies of
        // the layer in guarded worlds, compared with it at the end; the output's guards are
        // checked. Unchecked (a caller that trusts the module, such as the frei0r plug-in), input
        // worlds are views of the layer itself (a module writing to one writes the caller's
        // layer), the output's pixels are not marked, and finish() checks nothing.
        bool checked = true;
        // Whether finish() keeps a copy of the output (output(), takeOutput()); a caller that
        // read the output world itself before finish() turns this off.
        bool keepOutput = true;
        // Unchecked frames only: memory of the caller's where the output's pixels go, the
        // requested rectangle's rows `outputRowBytes` apart. An output world of exactly that
        // rectangle is then a view of it, written by the module in place; any other (or a checked
        // frame) is the host's own.
        std::uint8_t* outputPixels = nullptr;
        std::size_t outputRowBytes = 0;
        // Storage, kept by the caller from frame to frame, that an output world whose pixels are
        // not marked is made in, packed (createPackedWorld), when it takes at most
        // kOutputStorageMaxBytes: finish() then hands it over as the kept output without copying
        // it, and puts the storage it is given in its place.
        std::vector<std::uint8_t>* outputStorage = nullptr;
    };
    // Larger outputs are made in the host's own worlds: storage that large kept between renders
    // would raise a sequence's memory by a whole frame.
    static constexpr std::size_t kOutputStorageMaxBytes = std::size_t{48} << 20;

    // `layer` is the input layer at full resolution and at the render's depth. Downsampling
    // factors are 1/n (num 1, den n >= 1); anything else throws std::invalid_argument.
    SmartFrame(const Image& layer, PF_RationalScale downsampleX, PF_RationalScale downsampleY,
               Options options);
    SmartFrame(const Image& layer, PF_RationalScale downsampleX = {1, 1},
               PF_RationalScale downsampleY = {1, 1});
    // The same, reading a layer that needs no downsampling in place instead of copying it: the
    // caller keeps `layer` alive and unchanged for as long as the frame lives.
    struct Borrow {};
    SmartFrame(Borrow, const Image& layer, PF_RationalScale downsampleX, PF_RationalScale downsampleY,
               Options options);
    // Runs finish() if it has not run, and detaches from the effect.
    ~SmartFrame();
    SmartFrame(const SmartFrame&) = delete;
    SmartFrame& operator=(const SmartFrame&) = delete;

    // Makes this frame the effect's render context (the callbacks find it there).
    void attach(Effect& effect);
    void detach();

    // The frame's fields of PF_InData: width and height of the downsampled layer, downsampling,
    // extent hint, unit pixel aspect ratio.
    void prepareInData(PF_InData& in) const;

    Depth depth() const { return layer().depth; }
    // The layer as the effect sees it: ceil(W / n) x ceil(H / n), each pixel the average of its
    // block (8- and 16-bit: + 0.5, truncated).
    const Image& layer() const { return borrowed_ ? *borrowed_ : layer_; }
    int layerWidth() const { return layer().width; }
    int layerHeight() const { return layer().height; }

    // The records for the two commands. smartRenderExtra() carries the pre_render_data that the
    // pre-render stored in the pre-render output.
    PF_PreRenderExtra* preRenderExtra() { return &preExtra_; }
    PF_SmartRenderExtra* smartRenderExtra();
    const PF_PreRenderOutput& preRenderOutput() const { return preOutput_; }

    // Worlds handed out so far (null before their checkout or after finish()).
    const PF_EffectWorld* inputWorld(A_long checkoutId = 0) const;
    const PF_EffectWorld* outputWorld() const { return output_.data ? &output_ : nullptr; }

    // Ends the frame: keeps a copy of the output, checks the output's guard bands and that the
    // input was only read (faults in the ledger otherwise), releases every checkout and disposes
    // of the pre-render data. Safe to call twice.
    void finish();
    // The same, keeping the copy of the output in `storage` (whose capacity a caller that renders
    // frame after frame hands back, so that no fresh memory is touched).
    void finish(std::vector<std::uint8_t>&& storage);
    bool finished() const { return finished_; }
    // After finish(): whether the output's guard bands were intact and every input world unchanged.
    bool outputIntact() const { return outputIntact_; }
    bool inputUnchanged() const { return inputUnchanged_; }

    // The output over `area` (layer coordinates at the render's downsampling, anywhere in the
    // 32-bit range); pixels that the output world does not cover are zero. Valid during the
    // render and after finish(). An area with a side over kMaxWorldSide throws std::length_error.
    Image output(const PF_LRect& area) const;
    // The same after finish(), handing over the kept copy instead of copying it again when
    // `area` is exactly the output's rectangle; the frame's output is empty afterwards.
    Image takeOutput(const PF_LRect& area);

    // The callbacks, as the records hand them to a module.
    static PF_Err checkoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                                const PF_RenderRequest* req, A_long what_time, A_long time_step,
                                A_u_long time_scale, PF_CheckoutResult* result);
    static PF_Err checkoutLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id, PF_EffectWorld** pixels);
    static PF_Err checkinLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id);
    static PF_Err checkoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output);

private:
    struct Checkout {
        PF_LRect rect{};
        PF_EffectWorld world{};  // data null until checkout_layer_pixels
    };

    static SmartFrame* of(PF_ProgPtr effect_ref);
    bool checkInPixels(Checkout& checkout);

    void init();

    Image layer_;                      // the layer as the effect sees it, unless borrowed
    const Image* borrowed_ = nullptr;  // the caller's layer, read in place
    PF_RationalScale downsampleX_, downsampleY_;
    Options options_;
    Effect* effect_ = nullptr;

    PF_PreRenderInput preInput_{};
    PF_PreRenderOutput preOutput_{};
    PF_PreRenderCallbacks preCallbacks_{};
    PF_PreRenderExtra preExtra_{};
    PF_SmartRenderInput renderInput_{};
    PF_SmartRenderCallbacks renderCallbacks_{};
    PF_SmartRenderExtra renderExtra_{};

    std::map<A_long, Checkout> checkouts_;
    PF_EffectWorld output_{};
    PF_EffectWorld ready_{};     // the output's world made ahead, until checkout_output hands it out
    bool outputPacked_ = false;  // output_ lies in *options_.outputStorage
    bool rendering_ = false;     // PF_Cmd_SMART_RENDER's record was handed out
    PF_LRect outputRect_{};
    Image result_;
    PF_LRect resultRect_{};
    bool finished_ = false;
    bool outputIntact_ = true;
    bool inputUnchanged_ = true;
};

}  // namespace vhost
