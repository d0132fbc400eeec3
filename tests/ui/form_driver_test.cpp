#include "form_driver.h"

#include <QCoreApplication>
#include <QDialog>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>

// The checks a test puts inside whenShown run only if the dialog really runs; a dialog that never did must fail
// the test rather than let it pass on checks that never ran.
TEST(FormDriver, ADialogThatNeverRanFailsTheTest)
{
    const struct
    {
        const char* name;
        std::function<void(QDialog&)> afterArming;
    } cases[] = {
        { "gone before it ran", [](QDialog&) {} },
        { "armed again before it ran",
            [](QDialog& form) {
                test::whenShown(form, nullptr);
                form.exec();
                QCoreApplication::processEvents(); // whatever the dialog left armed runs now
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NONFATAL_FAILURE(
            {
                QDialog form;
                form.setObjectName(QStringLiteral("neverRun"));
                test::whenShown(form, nullptr);
                c.afterArming(form);
            },
            "the dialog neverRun was never shown");
    }
}
