// The built-in pictures of `velmorblind demo`, made in code (no files, no network), and the demo's
// settings.
#pragma once

#include "Image.h"

#include <string>
#include <vector>

namespace vblind {

constexpr int kDemoWidth = 384;
constexpr int kDemoHeight = 256;
constexpr int kDemoFirstFrame = 1;
constexpr int kDemoLastFrame = 48;

// A colourful test card: hues across, brightness down, a grid every 32 pixels and a title. Opaque.
vhost::Image demoForeground(int width = kDemoWidth, int height = kDemoHeight);
// The shot the transition reveals: a dusk gradient with concentric rings and a caption. Opaque.
vhost::Image demoBackground(int width = kDemoWidth, int height = kDemoHeight);

// The demo's controls, as --set arguments would give them.
std::vector<std::string> demoSettings();

}  // namespace vblind
