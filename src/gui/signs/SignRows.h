#pragma once

#include <QString>
#include <string>

class CSignsFile;
class IMessageService;
class QWidget;
struct NamedSign;

// What both signs dialogs show of a sign, and how they read the file.

QString Utf8Text(const std::string& text);
// "assembly, hall-b"
QString TagsText(const NamedSign& sign);
// Reads the file; a file that cannot be read is told to the operator (its line and field) and
// the list is left empty. False then.
bool LoadSignsReporting(CSignsFile& file, IMessageService& messages);
