#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "gui/pages/PageContext.h"
#include "gui/services/FileDialogService.h"
#include "settings/MessageFile.h"
#include "settings/RecentMessages.h"

class CMessagePage;
class QMenu;

// The Messages page's message files: opening, saving, the recent files and whether the message
// on the page differs from the one last opened or saved.
class CMessageFiles : public QObject {
    Q_OBJECT

public:
    // Takes the page's message as it stands as the one kept.
    CMessageFiles(CMessagePage& page, const PageContext& context);
    ~CMessageFiles() override;

    // "Open Message…": asks whether to discard a changed message, then for the file.
    void Open();
    // Opens a file, asking first whether to discard a changed message. A file that cannot be read
    // or does not parse is reported and changes nothing. False when nothing was opened.
    bool OpenFile(const QString& path);
    // Before the window closes: a changed message is saved, discarded or keeps the window open, as
    // the operator answers. True when the window may close.
    bool MayClose();
    // "Save Message…": into the file open, or as a new one when there is none.
    bool Save();
    // "Save Message As…": asks for the file first.
    bool SaveAs();

    // The file last opened or saved, absolute; empty for a message that was never in one.
    QString FilePath() const { return m_strPath; }
    // The message on the page differs from the one last opened or saved.
    bool IsModified() const { return m_bModified; }

    // The page's message may have changed.
    void CheckModified();
    // Puts the recent files into a menu, newest first, each opening its file.
    void FillRecentMenu(QMenu* menu);

signals:
    // The file or its changed state is another.
    void StateChanged();

private:
    bool MayDiscardChanges();
    bool Load(const QString& path);
    bool SaveTo(const QString& path);
    // The page's message is now the one in this file.
    void Keep(const QString& absolutePath);
    FileDialogRequest Request(const char* caption, const QString& start) const;
    IFileDialogService& Dialogs();

    CMessagePage& m_page;
    PageContext m_context;
    CRecentMessages m_recent;
    std::unique_ptr<IFileDialogService> m_pDesktopDialogs;
    MessageDocument m_kept;
    QString m_strPath;
    bool m_bModified = false;
    bool m_bTaking = false;
};
