#pragma once

#include <QDialog>
#include <memory>
#include <thread>

#include "gui/pages/PageContext.h"
#include "settings/SignsFile.h"

class CCancelToken;
struct SignCheckResult;

namespace Ui {
class CSignsDlg;
}

// "Signs": the list of named signs, edited. A sign's fields are chosen below the list; Add keeps
// them as a new sign, Change puts them in the place of the selected one, Remove takes it away;
// every change is written to the file at once. A file that cannot be read is named with its fault
// and nothing is changed or written until it reads again. Check looks whether each sign can be
// reached, off the UI thread.
class CSignsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSignsDlg(const PageContext& context, QWidget* parent = nullptr);
    ~CSignsDlg() override;

    // Reads the file again and shows the dialog.
    void Open();
    const CSignsFile& File() const { return m_file; }

private:
    void FillLists();
    void ConnectSignals();
    void ShowSigns();
    // The gateways the file names, to choose from; what is typed stays.
    void ShowGateways();
    void ShowSign(const NamedSign& sign);
    // The sign the fields describe.
    NamedSign FormSign() const;
    void UpdateLinkFields();
    void UpdateAddressFields();
    void UpdateButtons();
    // Runs a change of the list and writes the file; false (after telling why) when refused.
    template <typename Change>
    bool Apply(Change change);

    void OnSelectionChanged();
    void OnAdd();
    void OnChange();
    void OnRemove();
    void OnCheck();
    // On the UI thread, one sign's check as it comes.
    void ShowCheck(const SignCheckResult& result);
    void OnCheckFinished();
    void StopCheck();
    void OnHelp();

    std::unique_ptr<Ui::CSignsDlg> m_ui;
    PageContext m_context;
    CSignsFile m_file;
    bool m_bReadable = false;
    std::unique_ptr<CCancelToken> m_checkCancel;
    std::thread m_checkThread;
};
