// The importer program includes a Qt header, for the layering check to name.
#include <QImage>
