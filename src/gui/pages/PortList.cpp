#include "gui/pages/PortList.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "transport/CSendDispatcher.h"

void FillPortList(QComboBox& list) {
    const QSignalBlocker blocker(&list);
    list.clear();
    for (int32_t port = 0; port < kComPortCount; ++port) {
        list.addItem(QStringLiteral("Com%1").arg(port + 1));
    }
    list.addItem(QStringLiteral("Ethernet"));
}

void SelectPort(QComboBox& list, int32_t comPort) {
    const QSignalBlocker blocker(&list);
    list.setCurrentIndex(comPort >= 0 && comPort < list.count() ? comPort : -1);
}
