#pragma once
#include <QFont>
