#pragma once

#include <QIcon>

#include <vector>

inline constexpr int MenuImageCount = 18;
inline constexpr int StatusImageCount = 4;

// The command pictures of imgMenu, indices 0 to 17 as the action table assigns them, each drawn for
// 16 and 24 pixels so that menus and the toolbar get a sharp one.
std::vector<QIcon> menuImages();
// The status pictures of imgCheckList: 0 initial, 1 no update, 2 updated, 3 error.
std::vector<QIcon> statusImages();
// The program's own icon (window, tray).
QIcon applicationIcon();

// One picture at one size, as the icons hold it; `index` outside 0 to 17 gives a transparent picture.
QPixmap drawMenuImage(int index, int size);
