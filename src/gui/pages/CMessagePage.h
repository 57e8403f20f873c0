#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "gui/pages/PageContext.h"
#include "gui/preview/PreviewOwner.h"
#include "settings/MessageFile.h"

class CFormattedEdit;
class CMessageFiles;
class CPreviewDlg;
class CSendRunner;
class CSendToSignsDlg;
class CSignsDlg;
class QComboBox;
class QLineEdit;

namespace Ui {
class CMessagePage;
}

// The "Messages" page: the message, how and where the sign shows it, and sending it. Every choice
// goes at once into the application's MessageSettings; the page keeps no message data of its own.
// It owns the "Message Preview" window while that is open.
class CMessagePage : public QWidget, public IPreviewOwner {
    Q_OBJECT

public:
    explicit CMessagePage(const PageContext& context, QWidget* parent = nullptr);
    ~CMessagePage() override;

    CFormattedEdit& Editor();
    // The last generated command string, as the sign gets it (the box shows it).
    std::string CommandString() const;

    // The page's own checks of the position, with or without telling the operator. Also takes
    // the Group and Unit lists into the settings as far as the address uses them.
    bool Validate(bool report);
    // Encodes the message into the command box and saves the settings.
    void Generate();

    // The message as a file keeps it: the settings, with the Group and Unit lists taken as the
    // address uses them, and the editor's lines.
    MessageDocument CurrentMessage() const;
    // Its settings alone.
    MessageSettings CurrentSettings() const;
    // Puts a message on the page: the editor's content and every choice, shown in the lists as the
    // page's own updates show them. No list reacts, and the Line and Column are not checked.
    void TakeMessage(const MessageDocument& message);
    // Opening, saving and the recent files.
    CMessageFiles& MessageFiles() { return *m_pFiles; }

    // The open preview, or null.
    CPreviewDlg* Preview() const { return m_pPreview; }

    int32_t PreviewSignModel() const override;
    const std::vector<CellLine>* PreviewSourceLines() const override;
    void OnPreviewClosed() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FillLists();
    // Selects the settings' choices in the lists and fills the Line and Column boxes.
    void ShowChoices();
    void ConnectSignals();
    void SetUpMessageFiles();
    void CheckModified();

    void OnAddressChosen(int index);
    void OnPositionChosen(int index);
    void OnDisplayModeChosen(int index);
    void OnEffectChosen(int index);
    void OnSignModelChosen(int index);
    void OnPortChosen(int index);
    void OnPositionTextChanged();
    void OnClearMessageClicked(bool checked);
    void OnGenerate();
    void OnPreview();
    void OnSend();
    void OnSendToSigns();
    void OnSigns();
    void OnHelp();
    void OnExit();

    // The Group and Unit lists' numbers as far as the address uses them.
    void TakeAddressLists(MessageSettings& settings) const;
    void UpdateAddressDisplay(bool rememberFirst);
    void UpdateLineColumn();
    void UpdateClearMessage();
    // Reads one position box into the settings; false (after telling the operator, when
    // reporting) when it is empty or out of range.
    bool CheckBox(QLineEdit* box, int32_t& value, int32_t low, int32_t high, bool report);

    std::unique_ptr<Ui::CMessagePage> m_ui;
    PageContext m_context;
    CSendRunner* m_pSender;
    CPreviewDlg* m_pPreview = nullptr;
    CMessageFiles* m_pFiles = nullptr;
    // The signs dialogs, made when first asked for: start-up does not wait for them.
    CSendToSignsDlg* m_pSendToSigns = nullptr;
    CSignsDlg* m_pSigns = nullptr;
    // The last generated command string, as it is sent.
    std::string m_strCommand;
    QString m_strGroupText;
    QString m_strUnitText;
    bool m_bInitialised = false;
    // The choice an attribute list is making comes from the mouse.
    bool m_bMouseChoice = false;
};
