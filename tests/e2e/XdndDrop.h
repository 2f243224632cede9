#pragma once
// A file dropped on a window as a file manager drops it, by X's drag-and-drop protocol (XDND).

#include <QPoint>
#include <QString>

// Drops `path` on the top-level window at the screen point `at` and hands the file over when
// the window asks for it. False when the window refuses it or has not finished within timeoutMs.
bool dropFile(const QString& path, QPoint at, int timeoutMs);
