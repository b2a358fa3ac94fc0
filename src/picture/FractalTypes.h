#pragma once
// The kinds of picture the picture control can paint, and the six that the picture's context
// menu offers. The numeric values are those the earlier program stored, so keep the order.

#include <array>
#include <cstdint>
#include "base/Translate.h"

namespace pennacrow {

enum TFractalTypes : std::uint8_t {
  ftMandelBrot = 0,  // escape time, Mandelbrot mode
  ftJulian = 1,      // escape time, Julia mode (c = i)
  ftMoire = 2,       // black and white lines and rings
  ftSierpinski = 3,  // chaos game
  ftFern = 4,        // iterated function system, table 0
  ftLeaf = 5,        // table 1
  ftCurl = 6,        // table 2
  ftKoch = 7,        // table 3; no menu item chooses it
};

constexpr int kFractalTypeCount = 8;

// One item of the context menu `ImagePopup`: its component name, caption, handler and kind.
// Sierpinski and Koch have no item; they are reachable only through the control's properties.
struct TFractalMenuItem {
  const char* Name;
  const char* Caption;
  const char* Handler;
  TFractalTypes FractalType;
};

inline constexpr std::array<TFractalMenuItem, 6> FractalMenuItems{{
    {"MenuItem1", N_("创建 芒德勃罗 不规则位图图像"), "MenuItem1Click", ftMandelBrot},
    {"CreateJuliaFractalImage1", N_("创建 朱莉娅 不规则位图图像"), "CreateJuliaFractalImage1Click",
     ftJulian},
    {"CreateCurlFractalBitmapImage1", N_("创建 涡纹叶 不规则位图图像"),
     "CreateCurlFractalBitmapImage1Click", ftCurl},
    {"CreateFernFractalBitmapImage1", N_("创建 蕨菜叶 不规则位图图像"),
     "CreateFernFractalBitmapImage1Click", ftFern},
    {"CreateLeafFractalBitmapImage1", N_("创建 枫树叶 不规则位图图像"),
     "CreateLeafFractalBitmapImage1Click", ftLeaf},
    {"CreateMoirePattenBitmapImage1", N_("创建 云纹绸 不规则位图图像"),
     "CreateMoirePattenBitmapImage1Click", ftMoire},
}};

// The title band of the menu.
inline constexpr const char* FractalMenuTitle = N_("不规则图形");

}  // namespace pennacrow
