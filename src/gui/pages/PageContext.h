#pragma once

class CMarqueeApp;
class IFileDialogService;
class IHelpService;
class IMessageService;

// What every page and panel works with: the settings and the dispatcher, the operator's boxes and
// the help. One instance for the whole window, outliving it.
struct PageContext {
    CMarqueeApp& app;
    IMessageService& messages;
    IHelpService& help;
    // The file dialogs; none given: the desktop's own.
    IFileDialogService* files = nullptr;
};
