#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <set>
#include <vector>

#include "gui/pages/PageContext.h"
#include "settings/MessageFile.h"
#include "settings/SignsFile.h"

class CSaveToLibraryDlg;
class CSendPlan;
class CSignsDlg;
class QTreeWidgetItem;
struct SignSendResult;

namespace Ui {
class CSendToSignsDlg;
}

// "Send to Signs": the named signs as a checkable list, and the page's message sent to those
// checked, each sign's row showing its outcome as it comes. The sends run off the UI thread; the
// checked names are kept for the rest of the session, so that the next send offers the same.
// "Save to Library…" puts the same message into a gateway's library instead.
class CSendToSignsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSendToSignsDlg(const PageContext& context, QWidget* parent = nullptr);
    ~CSendToSignsDlg() override;

    // Reads the list of signs again and shows the dialog for this message.
    void Open(const MessageDocument& message);
    // True while a send runs.
    bool Sending() const { return m_plan != nullptr; }

protected:
    void reject() override;

private:
    void ConnectSignals();
    void LoadSigns();
    void FillTagFilter();
    void OnTagChosen(int index);
    void OnItemChanged(QTreeWidgetItem* item, int column);
    void OnSend();
    void OnStop();
    void OnEditSigns();
    void OnSaveToLibrary();
    void OnHelp();
    // On the UI thread, one sign's outcome as it comes.
    void ShowResult(const SignSendResult& result);
    void Finish();
    void UpdateButtons();

    std::unique_ptr<Ui::CSendToSignsDlg> m_ui;
    PageContext m_context;
    MessageDocument m_message;
    std::vector<NamedSign> m_signs;
    // The signs checked, by name in lower case; kept while the program runs.
    std::set<std::string> m_checked;
    std::unique_ptr<CSendPlan> m_plan;
    // The rows of the signs in the plan, in its order.
    std::vector<QTreeWidgetItem*> m_planRows;
    size_t m_nResults = 0;
    CSignsDlg* m_pEditor = nullptr;
    CSaveToLibraryDlg* m_pLibrary = nullptr;
};
