#pragma once
// The face of dialog 102 as its template gives it: controls in tab order with their positions in
// dialog units, and the conversion of dialog units to pixels as Windows does it for the template's
// font ("MS Shell Dlg" 8 point, whose average character is 6 x 13 pixels at 96 DPI).

#include <array>

namespace vorn::qt {

// Base units of the template's font at 96 DPI: a dialog unit is a quarter of the average
// character's width and an eighth of its height.
inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;
// The template font's height in pixels at 96 DPI (8 point).
inline constexpr int kFontPixels = 11;

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

enum class ControlKind { Text, Progress, List, Button, Picture };

struct ControlTemplate {
  int id;
  ControlKind kind;
  Rect units;     // x, y, width, height in dialog units
  bool visible;   // at creation
};

// The dialog's client area in dialog units.
inline constexpr Rect kDialogUnits{0, 0, 401, 242};

// Tab order, which is also the stacking order: an earlier control lies above a later one.
inline constexpr std::array<ControlTemplate, 9> kControls{{
    {1001, ControlKind::Text, {131, 15, 259, 25}, true},
    {1000, ControlKind::Progress, {16, 223, 369, 11}, false},
    {1002, ControlKind::List, {16, 123, 369, 43}, true},
    {1004, ControlKind::Text, {16, 188, 369, 60}, true},
    {1005, ControlKind::Button, {280, 217, 110, 17}, false},
    {1008, ControlKind::Button, {280, 217, 110, 17}, false},
    {1006, ControlKind::Text, {131, 50, 259, 25}, true},
    {1007, ControlKind::Picture, {33, 18, 18, 16}, true},
    {1003, ControlKind::Text, {16, 110, 369, 8}, true},
}};

// a * b / c rounded to the nearest integer, halves away from zero; 0 when c is 0 (as MulDiv
// answers -1 there, which no position can use).
int MulDiv(int a, int b, int c);

// The rectangle in pixels: each edge converted on its own, so the width is the difference of the
// converted edges rather than the converted width.
Rect ToPixels(const Rect& units);

}  // namespace vorn::qt
