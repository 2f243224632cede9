#pragma once
// An animation writer includes a Qt header, for the layering check to name.
#include <QImage>
