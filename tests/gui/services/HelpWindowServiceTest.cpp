#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include "gui/services/HelpWindowService.h"

namespace {

bool HasAnchor(const QTextDocument& document, const QString& name) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().anchorNames().contains(name)) {
                return true;
            }
        }
    }
    return false;
}

TEST(HelpWindowServiceTest, OpensTheHelpAtTheTopicOfEachPage) {
    CHelpWindowService service(QStringLiteral(LUMIVEX_HELP_SOURCE));
    QWidget* first = nullptr;
    for (const uint32_t context : {kHelpMessages, kHelpPcCommunication, kHelpMarqueeCommunication,
                                   kHelpSigns, kHelpSendToSigns}) {
        SCOPED_TRACE(context);
        service.ShowHelp(context);
        ASSERT_NE(service.Window(), nullptr);
        EXPECT_TRUE(service.Window()->isVisible());
        EXPECT_EQ(service.Browser()->source().fragment(), HelpAnchor(context));
        EXPECT_TRUE(HasAnchor(*service.Browser()->document(), HelpAnchor(context)));
        // One help window, reused for every topic.
        if (first == nullptr) {
            first = service.Window();
        }
        EXPECT_EQ(service.Window(), first);
    }
    EXPECT_EQ(HelpAnchor(0x30010), "ctx-196624");
}

TEST(HelpWindowServiceTest, AMissingHelpFileIsExplainedInTheWindow) {
    for (const QString& file : {QString(), QStringLiteral("/nonexistent/lumivex.html")}) {
        CHelpWindowService service(file);
        service.ShowHelp(kHelpMessages);
        ASSERT_NE(service.Window(), nullptr);
        EXPECT_TRUE(
            service.Browser()->toPlainText().contains("help file of Lumivex was not found"));
    }
}

}  // namespace
