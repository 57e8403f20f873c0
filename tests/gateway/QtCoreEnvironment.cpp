// One QCoreApplication for the gateway's tests: the core's hand-offs run on its event loop.
#include <QCoreApplication>

#include "support/QtEnvironment.h"

namespace {

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new CQtEnvironment<QCoreApplication>);

}  // namespace
