#pragma once
// Where and how F12 saves the frame (Form1::saveFrame).

#include <QByteArray>
#include <QString>

// celshade/ in the user's pictures folder: the one user-dirs.dirs names, else ~/Pictures.
// Never a relative folder, which would depend on where the program was started: empty when
// neither is absolute.
QString savedFramesFolder();

// Writes `png` into `folder` (made when missing) as STEM.png, or the first of STEM-2.png,
// STEM-3.png, ... that is new. It never replaces a file, not even one that takes the name while
// the picture is being written. Returns the path; raises rt::Error 75 when it cannot be written.
QString saveAsNewPicture(const QString& folder, const QString& stem, const QByteArray& png);
