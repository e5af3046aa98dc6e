// The installation wizard's built-in pictures, written by
// tools/gen_app_art.py.
#pragma once

// The background: an 8-bit RGB PNG of 636 by 443 pixels.
extern const unsigned int instwiz_bg_size;
extern const unsigned char instwiz_bg[];

// Side-panel marks, 16 by 14 pixels of B, G, R, A bytes, rows top-down: the
// steps still ahead by number, then the done and the current step.
inline constexpr int kStepMarkW = 16, kStepMarkH = 14;
extern const unsigned char instwiz_step_1[896];
extern const unsigned char instwiz_step_2[896];
extern const unsigned char instwiz_step_3[896];
extern const unsigned char instwiz_step_4[896];
extern const unsigned char instwiz_step_5[896];
extern const unsigned char instwiz_step_6[896];
extern const unsigned char instwiz_step_7[896];
extern const unsigned char instwiz_step_done[896];
extern const unsigned char instwiz_step_curr[896];

// The target page's folder, 29 by 22 pixels, same layout.
inline constexpr int kFolderPictW = 29, kFolderPictH = 22;
extern const unsigned char myPictFolder_data[2552];
