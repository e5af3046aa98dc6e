// The two built-in looks: sizes with their ranges and colours (0x00BBGGRR).
// Dimension 5 carries a value above its maximum in both looks; the tables
// stand as they are, and only setDimension keeps to the ranges.
#include "ciom/theme.h"
#include "ciom/theme_images.h"

namespace {

const int kDefaultDimensions[cCITheme::kDimensions][3] = {
    {30, 16, 100}, {5, 0, 20},   {40, 16, 80}, {5, 0, 10},   {5, 0, 10},   {22, 0, 10},  {44, 0, 50},
    {24, 0, 40},   {16, 0, 20},  {10, 0, 20},  {7, 0, 10},   {5, 0, 10},   {3, 0, 10},   {24, 24, 40},
    {7, 0, 10},    {14, 10, 16}, {3, 1, 5},    {12, 12, 24}, {20, 12, 24}, {14, 10, 20}, {20, 10, 40},
    {48, 32, 100}, {12, 12, 30}, {18, 18, 24}, {18, 18, 24},
};

const int kFlatDimensions[cCITheme::kDimensions][3] = {
    {31, 0, 100},  {2, 0, 20},   {40, 0, 80},  {1, 0, 10},   {2, 0, 10},   {28, 0, 16},  {48, 0, 50},
    {28, 0, 40},   {5, 0, 20},   {10, 0, 20},  {14, 0, 20},  {8, 0, 10},   {8, 0, 10},   {30, 16, 40},
    {16, 0, 16},   {10, 10, 16}, {1, 1, 5},    {12, 12, 24}, {16, 12, 19}, {15, 10, 20}, {30, 10, 40},
    {48, 32, 100}, {12, 12, 30}, {22, 18, 32}, {22, 22, 24},
};

const unsigned int kDefaultColours[cCITheme::kColors] = {
    0xF3E5DF, 0xF3E5DF, 0xF3E5DF, 0xF3E5DF, 0x404040, 0x808080, 0x606060, 0xFF4040, 0xA0A0A0,
    0xFFFFFF, 0xFFFFFF, 0xF0FFFF, 0xC0C0C0, 0x404040, 0xFFFFFF, 0xFCF6F0, 0xFF9933, 0xFF9933,
    0xF1EBE5, 0xF1EBE5, 0xFFFFFF, 0xF1D5C6, 0xF1D5C6, 0xDCB6A9, 0xFCF3E1, 0xCA9685, 0xE4CDC3,
    0xFCF7F5, 0xFFFCFA, 0xFFFFFF, 0xF0F0F0, 0xF0F0FF, 0xF1D5C6, 0xDCB6A9, 0xCA9685, 0xFFFFFF,
    0xFFFFFF, 0xFBF7F6, 0xF4E4DB, 0xF3E5DF, 0x404040, 0x404040, 0xF3E5DF, 0xD6ADA0, 0xA0A0A0,
    0xE0E0E0, 0xB0B0B0, 0xC0C0C0, 0xFCF7F5, 0x404040, 0x404040, 0xFFFFFF, 0xFFFFFF, 0xEFD8CE,
    0xEFD8CE, 0xEFD8CE, 0xEFD8CE, 0xEFD8CE, 0xEFD8CE, 0xE8DBD6, 0xE8DBD6, 0x908280,
};

const unsigned int kFlatColours[cCITheme::kColors] = {
    0xFFFFFF, 0xFFFFFF, 0xF3F3F3, 0xFFFFFF, 0x000000, 0x808080, 0x606060, 0xFF4040, 0xA0A0A0,
    0x000000, 0xFFFFFF, 0xFFFFFF, 0xC0C0C0, 0xAB9E7F, 0xFFFFFF, 0xF3EDE3, 0xE8DAC3, 0xCDA45E,
    0xF7F7F7, 0xF1EBE5, 0xFFFFFF, 0xC0C0C0, 0xF1E9DD, 0xF1E9DD, 0xF1E9DD, 0x9D803C, 0x9D803C,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xF0F0F0, 0xF0F0FF, 0xC0C0C0, 0x888888, 0x808080, 0xC0C0C0,
    0xF1D5C6, 0xFFFFFF, 0xF3F3F3, 0xF3F3F3, 0x6A450B, 0x6C665F, 0xFBFAFA, 0xC0C0C0, 0xA09EA0,
    0xF3F3F3, 0xD3B98D, 0xD6BC8F, 0xF3F3F3, 0xFFFFFF, 0x71563C, 0xFBFAFA, 0xFFFFFF, 0xADAEAD,
    0xADAEAD, 0x9D803C, 0x9D803C, 0x9D803C, 0x9D803C, 0xDEDBDE, 0xDEDBDE, 0x908280,
};

}  // namespace

const cStaticCIThemeDef gCI_Default_Theme = {kDefaultDimensions, kDefaultColours, gDefaultThemeImages};
const cStaticCIThemeDef gCI_Flat_Theme = {kFlatDimensions, kFlatColours, gFlatThemeImages};
