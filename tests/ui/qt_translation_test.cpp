#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

TEST(QtTranslation, StandardButtonsReadInJapanese)
{
    // Removed however the test ends, so the other tests keep Qt's untranslated texts.
    const std::unique_ptr<QTranslator, void (*)(QTranslator*)> translator(installQtTranslation(), [](QTranslator* t) {
        QCoreApplication::removeTranslator(t);
        delete t;
    });
    ASSERT_NE(translator, nullptr) << "qt6-translations-l10n is not installed";

    const struct
    {
        QDialogButtonBox::StandardButton button;
        const char* text;
    } cases[] = {
        { QDialogButtonBox::Yes, "はい(&Y)" },
        { QDialogButtonBox::No, "いいえ(&N)" },
        { QDialogButtonBox::Cancel, "キャンセル" },
        { QDialogButtonBox::Save, "保存" },
    };
    for (const auto& c : cases) {
        const QDialogButtonBox box(c.button);
        EXPECT_EQ(box.button(c.button)->text(), QString::fromUtf8(c.text)) << c.text;
    }
}
