#pragma once

#include <cstdint>

class QComboBox;

// Fills a list with "Com1" to "Com8" and "Ethernet", so that an entry's index is the port index.
void FillPortList(QComboBox& list);

// Selects the entry of a port index, or nothing for an index no entry has (a saved 9), without
// running any reaction to a choice: the selection is the page's doing, not the operator's.
void SelectPort(QComboBox& list, int32_t comPort);
