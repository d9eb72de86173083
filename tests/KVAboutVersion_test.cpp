// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/MemoryStatus.h"
#include "support/Controls.h"
#include "support/FakePrompts.h"
#include "windows/KVAboutVersion.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace sortello;
using namespace sortello::test;

namespace {

const QString Program = QStringLiteral(SORTELLO_PROGRAM);

QString fixture(const char* name) {
    return QStringLiteral(SORTELLO_FIXTURES "/version/") + QString::fromLatin1(name);
}

// A column of the list, headed by its heading.
QStringList column(const TFrmKVVersionAbout& about, int index) {
    QStringList texts{child<QTreeWidget>(about, "ListViewVersion")->headerItem()->text(index)};
    for (int i = 0; i < child<QTreeWidget>(about, "ListViewVersion")->topLevelItemCount(); ++i)
        texts << child<QTreeWidget>(about, "ListViewVersion")->topLevelItem(i)->text(index);
    return texts;
}

// ShowAboutVersion over an owner; `look` sees the open dialog.
void showAbout(const QStringList& pairs, bool english, const QString& program,
               const std::function<void(TFrmKVVersionAbout&)>& look) {
    FakePrompts prompts;
    QWidget owner;
    prompts.dialogScripts.push_back([&](QDialog& dialog) {
        EXPECT_EQ(dialog.parentWidget(), &owner);
        look(static_cast<TFrmKVVersionAbout&>(dialog));
        return int(QDialog::Accepted);
    });
    ShowAboutVersion(&owner, prompts, pairs, english, program);
    EXPECT_EQ(prompts.dialogsRun, std::vector<QString>{QStringLiteral("FrmKVVersionAbout")});
}

TEST(AboutBox, DefaultLabelsAreDanish) {
    TFrmKVVersionAbout about(nullptr, Program);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Om - Sortello"));
    EXPECT_EQ(about.size(), QSize(313, 325));
    EXPECT_EQ(about.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(about.font().pixelSize(), 11);
    EXPECT_EQ(child<QLabel>(about, "LabelProductTxt")->text(), QStringLiteral("Produkt navn"));
    EXPECT_EQ(child<QPushButton>(about, "BitBtnMemory")->text(), QStringLiteral("&Hukommelse"));
    EXPECT_EQ(child<QLabel>(about, "LabelVersion")->text(), QStringLiteral("2.0.4.21"));
    EXPECT_EQ(column(about, 0),
              QStringList({"Ressource", "Developers", "Firma navn", "HTTP", "Internt navn",
                           "Kopirettigheder", "Originalt filnavn", "SMTP"}));
    EXPECT_EQ(column(about, 1).value(0), QStringLiteral("Værdi"));
    EXPECT_FALSE(child<QLabel>(about, "ImageAppIcon")->pixmap().isNull());
    EXPECT_FALSE(child<QTreeWidget>(about, "ListViewVersion")->header()->sectionsClickable());
}

TEST(AboutBox, EnglishWithoutPairsShowsTheKeysThemselves) {
    showAbout({}, true, Program, [](TFrmKVVersionAbout& about) {
        EXPECT_EQ(about.windowTitle(), QStringLiteral("About - Sortello"));
        EXPECT_EQ(child<QPushButton>(about, "BitBtnMemory")->text(), QStringLiteral("&Memory"));
        EXPECT_EQ(child<QPushButton>(about, "BitBtnOK")->text(), QStringLiteral("Ok"));
        EXPECT_EQ(child<QLabel>(about, "LabelDescriptionTxt")->text(),
                  QStringLiteral("Description"));
        EXPECT_EQ(column(about, 0),
                  QStringList({"Resource", "Company name", "Copyrights", "Developers", "HTTP",
                               "Internal name", "Original filename", "SMTP"}));
    });
}

TEST(AboutBox, ThePairsLabelTheProgramsOwnKeys) {
    showAbout({"HTTP=Homepage", "SMTP=E-Mail"}, true, Program, [](TFrmKVVersionAbout& about) {
        EXPECT_EQ(child<QLabel>(about, "LabelVersion")->text(), QStringLiteral("2.0.4.21"));
        EXPECT_EQ(child<QLabel>(about, "LabelProduct")->text(), QStringLiteral("Sortello"));
        EXPECT_FALSE(child<QLabel>(about, "LabelDescription")->text().isEmpty());
        EXPECT_EQ(column(about, 0),
                  QStringList({"Resource", "Company name", "Copyrights", "Developers", "E-Mail",
                               "Homepage", "Internal name", "Original filename"}));
        const QStringList lines = GetVersionStrings(Program);
        EXPECT_EQ(QStringLiteral("HTTP=") + column(about, 1).value(5), lines.value(8));
        EXPECT_EQ(child<QTreeWidget>(about, "ListViewVersion")->topLevelItem(0)->textAlignment(1) &
                      Qt::AlignLeft,
                  Qt::AlignLeft);
    });
}

// tables.exe: "Comments" is empty, and "HTTP" and "http" are both there, so
// both rows take the first value and the first label in sorted order.
TEST(AboutBox, EmptyValuesAreSkippedAndTheFirstLabelAndValueCount) {
    showAbout(
        {"http=Zeta", "HTTP=Alpha"}, false, fixture("tables.exe"), [](TFrmKVVersionAbout& about) {
            EXPECT_EQ(child<QLabel>(about, "LabelVersion")->text(), QStringLiteral("3.1.4.159"));
            EXPECT_EQ(child<QLabel>(about, "LabelProduct")->text(), QStringLiteral("Tables"));
            EXPECT_EQ(child<QLabel>(about, "LabelDescription")->text(),
                      QStringLiteral("Danish table first"));
            EXPECT_EQ(column(about, 0), QStringList({"Ressource", "Alpha", "Alpha"}));
            EXPECT_EQ(column(about, 1),
                      QStringList({"Værdi", "http://first.invalid/", "http://first.invalid/"}));
            EXPECT_EQ(about.extraLabels(), QStringList({"HTTP=Alpha", "http=Zeta"}));
        });
}

TEST(AboutBox, UnreadableInformationIsNotAvailable) {
    for (const QString& file :
         {fixture("varfirst.exe"), fixture("start.s"), QCoreApplication::applicationFilePath()}) {
        showAbout({"HTTP=Homepage"}, true, file, [&](TFrmKVVersionAbout& about) {
            EXPECT_EQ(child<QLabel>(about, "LabelVersion")->text(),
                      QStringLiteral("Not available"));
            EXPECT_TRUE(child<QLabel>(about, "LabelProduct")->text().isEmpty());
            EXPECT_TRUE(child<QLabel>(about, "LabelDescription")->text().isEmpty());
            EXPECT_EQ(child<QTreeWidget>(about, "ListViewVersion")->topLevelItemCount(), 0);
        });
    }
}

TEST(AboutBox, ExtraLabelsStaySortedWithDuplicates) {
    TFrmKVVersionAbout about(nullptr, Program);
    for (const char* line : {"b=2", "A=1", "SMTP=E-Mail", "a=1", "B=0", "a=1"})
        about.addExtraLabel(QString::fromLatin1(line));
    EXPECT_EQ(about.extraLabels(), QStringList({"A=1", "a=1", "a=1", "B=0", "b=2", "SMTP=E-Mail"}));
}

qulonglong number(QString text) {
    return text.remove(QLocale().groupSeparator()).toULongLong();
}

TEST(AboutBox, PagesSwitchAndKeepTheFocusInPlace) {
    TFrmKVVersionAbout about(nullptr, Program);
    about.setLabels(EnglishAboutLabels());
    child<QPushButton>(about, "BitBtnVersion")->click();
    about.show();
    about.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    const QStringList versionPage = column(about, 0);

    child<QPushButton>(about, "BitBtnMemory")->setFocus();
    QTest::keyClick(child<QPushButton>(about, "BitBtnMemory"), Qt::Key_Space);
    EXPECT_TRUE(child<QPushButton>(about, "BitBtnVersion")->hasFocus());
    EXPECT_FALSE(child<QPushButton>(about, "BitBtnMemory")->isVisible());
    EXPECT_EQ(column(about, 0),
              QStringList({"Memory", "Total physical", "Available physical", "Total pagefile",
                           "Available pagefile", "Total virtual", "Available virtual"}));
    EXPECT_EQ(child<QLabel>(about, "LabelVersion")->text(), QStringLiteral("2.0.4.21"));
    const QStringList bytes = column(about, 1);
    EXPECT_EQ(bytes[0], QStringLiteral("Bytes"));
    EXPECT_EQ(number(bytes[1]), GetMemoryStatus().totalPhysical);
    EXPECT_EQ(number(bytes[5]), addressSpaceLimit());
    EXPECT_LT(number(bytes[6]), number(bytes[5]));
    // Past 32 bits, grouped by the locale's separator, right-aligned.
    EXPECT_TRUE(bytes[5].contains(QLocale().groupSeparator())) << bytes[5].toStdString();
    EXPECT_EQ(child<QTreeWidget>(about, "ListViewVersion")->topLevelItem(4)->textAlignment(1) &
                  Qt::AlignRight,
              Qt::AlignRight);

    QTest::keyClick(child<QPushButton>(about, "BitBtnVersion"), Qt::Key_Space);
    EXPECT_TRUE(child<QPushButton>(about, "BitBtnMemory")->hasFocus());
    EXPECT_FALSE(child<QPushButton>(about, "BitBtnVersion")->isVisible());
    EXPECT_EQ(column(about, 0), versionPage);
}

class ClosingKeys : public ::testing::TestWithParam<Qt::Key> {};

// Wherever the focus is, Escape and Enter close with the result OK.
TEST_P(ClosingKeys, CloseWithTheResultOk) {
    FakePrompts prompts;
    prompts.dialogScripts.push_back([&](QDialog& dialog) {
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        child<QTreeWidget>(dialog, "ListViewVersion")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), GetParam());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        return dialog.result();
    });
    ShowAboutVersion(nullptr, prompts, {}, true, Program);
}

INSTANTIATE_TEST_SUITE_P(AboutBox, ClosingKeys,
                         ::testing::Values(Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter));

TEST(MemoryFigures, ReadInSixtyFourBits) {
    const QByteArray meminfo = "MemTotal:       67108864 kB\nMemFree:         1048576 kB\n"
                               "MemAvailable:   50331648 kB\nSwapTotal:       8388608 kB\n"
                               "SwapFree:        4194304 kB\n";
    const QByteArray status = "Name:\tsortello\nVmPeak:\t  900000 kB\nVmSize:\t  262144 kB\n";
    const quint64 limit = quint64(1) << 47;
    const MemoryFigures m = memoryFiguresFrom(meminfo, status, limit);
    EXPECT_EQ(m.totalPhysical, 64ull << 30);
    EXPECT_EQ(m.availablePhysical, 48ull << 30);
    EXPECT_EQ(m.totalPageFile, 8ull << 30);
    EXPECT_EQ(m.availablePageFile, 4ull << 30);
    EXPECT_EQ(m.availableVirtual, limit - (256ull << 20));
    // A kernel without MemAvailable; a process past its limit.
    const MemoryFigures old = memoryFiguresFrom("MemTotal: 1024 kB\nMemFree: 512 kB\n", status, 1);
    EXPECT_EQ(old.availablePhysical, 512u * 1024);
    EXPECT_EQ(old.availableVirtual, 0u);

    EXPECT_EQ(formatByteCount(536870912, QLocale::c()), QStringLiteral("536,870,912"));
    EXPECT_EQ(formatByteCount(5368709120ull, QLocale(QLocale::German)),
              QStringLiteral("5.368.709.120"));
}

} // namespace
