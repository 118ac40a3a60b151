// The picture both benchmark programs render: every channel varies across the frame, alpha between
// half and full, so no pass can take a shortcut on uniform pixels.
#pragma once

#include "Image.h"

inline vhost::Image benchPicture(int w, int h, vhost::Depth depth) {
    vhost::Image image(w, h, depth);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int a = 128 + (x + y) % 128, r = x % 256, g = y % 256, b = (x * y) % 256;
            switch (depth) {
                case vhost::Depth::Bits8:
                    image.at<PF_Pixel>(x, y) = PF_Pixel{static_cast<A_u_char>(a), static_cast<A_u_char>(r),
                                                        static_cast<A_u_char>(g), static_cast<A_u_char>(b)};
                    break;
                case vhost::Depth::Bits16:
                    image.at<PF_Pixel16>(x, y) =
                        PF_Pixel16{static_cast<A_u_short>(a * 128), static_cast<A_u_short>(r * 128),
                                   static_cast<A_u_short>(g * 128), static_cast<A_u_short>(b * 128)};
                    break;
                case vhost::Depth::Float32:
                    image.at<PF_PixelFloat>(x, y) =
                        PF_PixelFloat{a / 255.0f, r / 255.0f, g / 255.0f, b / 255.0f};
                    break;
            }
        }
    return image;
}
