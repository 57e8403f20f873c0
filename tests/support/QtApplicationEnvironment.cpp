// One QApplication for a whole widget test program, made before the first test.
#include <QApplication>

#include "QtEnvironment.h"

namespace {

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new CQtEnvironment<QApplication>);

}  // namespace
