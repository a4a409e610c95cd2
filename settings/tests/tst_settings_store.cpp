#include "settings/color_box.h"
#include "settings/settings_dialog.h"
#include "settings/tests/settings_fixture.h"
#include "store/path_text.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QTest>

#include <memory>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        file = freshSettingsFile(dir);
        QVERIFY(dir->isValid());
        history.Clear();
    }

    void firstStartWritesAnEmptySettingsDocument()
    {
        SettingsDialog settings(&history, &window, nullptr, file.string());
        QCOMPARE(readFile(file), std::string("\r\n<SETTINGS/>"));
        QCOMPARE(settings.SE_mgd->value(), 100);
        QCOMPARE(settings.SE_history->value(), 50);
        QVERIFY(!settings.CB_border->isChecked());
        QVERIFY(!settings.CCB1->isEnabled());
        QCOMPARE(settings.CCB1->Color(), RgbColor(0));
        QVERIFY(!settings.CB_dup_allowed->isChecked());
        QVERIFY(!fs::exists(file.string() + ".bad"));
    }

    void storedNumbersReachTheSpinEdits_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("shown");
        QTest::newRow("diameter in range") << QByteArray("MG_DIAMETER") << QByteArray("80") << 80;
        QTest::newRow("diameter above") << QByteArray("MG_DIAMETER") << QByteArray("500") << 150;
        QTest::newRow("diameter below") << QByteArray("MG_DIAMETER") << QByteArray("-7") << 40;
        QTest::newRow("diameter text") << QByteArray("MG_DIAMETER") << QByteArray("abc") << 100;
        QTest::newRow("diameter trailing") << QByteArray("MG_DIAMETER") << QByteArray("90x") << 100;
        QTest::newRow("diameter beyond 32 bits")
            << QByteArray("MG_DIAMETER") << QByteArray("99999999999") << 100;
        QTest::newRow("history in range") << QByteArray("HRC") << QByteArray("20") << 20;
        QTest::newRow("history above") << QByteArray("HRC") << QByteArray("151") << 150;
        QTest::newRow("history below") << QByteArray("HRC") << QByteArray("3") << 4;
        QTest::newRow("history text") << QByteArray("HRC") << QByteArray("abc") << 50;
    }

    void storedNumbersReachTheSpinEdits()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, text);
        QFETCH(int, shown);
        std::string attribute = " ";
        attribute += key.toStdString() + "=\"" + text.toStdString() + "\"";
        writeFile(file, settingsText(attribute));
        SettingsDialog settings(&history, &window, nullptr, file.string());
        QSpinBox* spin = key == "HRC" ? settings.SE_history : settings.SE_mgd;
        QCOMPARE(spin->value(), shown);
        // Only a commit replaces the stored text.
        QCOMPARE(settings.Settings.ReadAttribute(key.toStdString()), text.toStdString());
        settings.CommitSettings();
        QCOMPARE(settings.Settings.ReadAttribute(key.toStdString()), std::to_string(shown));
    }

    void flagsAreOnOnlyForExactlyY_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("on");
        QTest::newRow("Y") << QByteArray("Y") << true;
        QTest::newRow("y") << QByteArray("y") << false;
        QTest::newRow("YES") << QByteArray("YES") << false;
        QTest::newRow("N") << QByteArray("N") << false;
    }

    void flagsAreOnOnlyForExactlyY()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, on);
        const std::string value = "=\"" + text.toStdString() + "\"";
        writeFile(
            file,
            settingsText(" USE_MG_BORDER" + value + " FND" + value + " EXACT_PIXELS" + value));
        SettingsDialog settings(&history, &window, nullptr, file.string());
        QCOMPARE(settings.CB_border->isChecked(), on);
        QCOMPARE(settings.CCB1->isEnabled(), on);
        QCOMPARE(settings.CB_dup_allowed->isChecked(), on);
        QCOMPARE(settings.ReadExactPixels(), on);
    }

    // A file from before exact pixels is the smooth display, and reads back byte for byte
    // once exact pixels were switched on and off again.
    void exactPixelsIsStoredOnlyWhenOn()
    {
        const std::string older
            = "\r\n<SETTINGS MG_DIAMETER=\"80\">\r\n\t<HISTORY/>\r\n</SETTINGS>";
        writeFile(file, older);
        {
            SettingsDialog settings(&history, &window, nullptr, file.string());
            QVERIFY(!settings.ReadExactPixels());
            settings.StoreExactPixels(true);
        }
        QCOMPARE(readFile(file),
                 std::string("\r\n<SETTINGS MG_DIAMETER=\"80\" EXACT_PIXELS=\"Y\">"
                             "\r\n\t<HISTORY/>\r\n</SETTINGS>"));
        {
            SettingsDialog settings(&history, &window, nullptr, file.string());
            QVERIFY(settings.ReadExactPixels());
            settings.StoreExactPixels(false);
        }
        QCOMPARE(readFile(file), older);
    }

    // The order of the keys and the absence of the flags that are off.
    void commitWritesEveryKey()
    {
        SettingsDialog settings(&history, &window, nullptr, file.string());
        settings.SE_mgd->setValue(120);
        settings.CCB1->setCurrentIndex(9);
        settings.CB_dup_allowed->setChecked(true);
        settings.CommitSettings();
        QCOMPARE(readFile(file),
                 std::string("\r\n<SETTINGS MG_BORDER_COLOR=\"#FF0000\" MG_DIAMETER=\"120\" "
                             "HRC=\"50\" FND=\"Y\">\r\n\t<HISTORY/>\r\n</SETTINGS>"));
    }

    void destructionWritesOnlyWhatWasCommitted()
    {
        {
            SettingsDialog settings(&history, &window, nullptr, file.string());
            settings.SE_mgd->setValue(80);
            settings.Settings.WriteAttribute("DIR_TO_VIEW", "/pictures");
        }
        QCOMPARE(readFile(file),
                 std::string("\r\n<SETTINGS DIR_TO_VIEW=\"/pictures\">\r\n\t<HISTORY/>\r\n"
                             "</SETTINGS>"));
    }

    // Each unreadable file is kept under a name of its own, and the user is told where.
    void unreadableFileIsKeptAside_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("broken text") << "broken";
        // Opening it to read would wait for a writer for ever.
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("larger than the reader takes") << "large";
        QTest::newRow("element without a name") << "nameless";
    }

    void unreadableFileIsKeptAside()
    {
        QFETCH(QString, kind);
        const std::string broken = kind == "nameless"
            ? std::string("\r\n< />")
            : std::string("\r\n<SETTINGS MG_DIAMETER=\"80\" HRC=\"20>");
        writeFile(file.string() + ".bad", "an older broken file");
        if (kind == "fifo") {
            QCOMPARE(mkfifo(file.c_str(), 0600), 0);
        } else {
            writeFile(file, broken);
            if (kind == "large")
                fs::resize_file(file, TreeDocument::MaxFileSize + 1);
        }
        const std::string kept = file.string() + ".2.bad";
        SettingsDialog settings(&history, &window, nullptr, file.string());
        std::vector<std::string> told;
        settings.SetReporter([&](const std::string& text) { told.push_back(text); });
        QCOMPARE(readFile(file.string() + ".bad"), std::string("an older broken file"));
        if (kind == "fifo")
            QVERIFY(fs::is_fifo(kept));
        else if (kind != "large")
            QCOMPARE(readFile(kept), broken);
        else
            QCOMPARE(fs::file_size(kept), uintmax_t(TreeDocument::MaxFileSize + 1));
        QCOMPARE(readFile(file), std::string("\r\n<SETTINGS/>"));
        QCOMPARE(settings.SE_mgd->value(), 100);
        QCOMPARE(told.size(), size_t(1));
        QVERIFY(told[0].find(kept) != std::string::npos);
        // The reason in brackets is never empty.
        QVERIFY2(told[0].find("()") == std::string::npos, told[0].c_str());
    }

    // A nameless document would be written as 0 bytes again, so nothing would ever be kept.
    void emptyFileIsResetAndWritten()
    {
        writeFile(file.string() + ".bad", "an older broken file");
        writeFile(file, "");
        {
            SettingsDialog settings(&history, &window, nullptr, file.string());
            QCOMPARE(readFile(file), std::string("\r\n<SETTINGS/>"));
            settings.SE_mgd->setValue(70);
            settings.CommitSettings();
        }
        SettingsDialog again(&history, &window, nullptr, file.string());
        QCOMPARE(again.SE_mgd->value(), 70);
        QCOMPARE(readFile(file.string() + ".bad"), std::string("an older broken file"));
    }

    // The failure is told once, with the path, however often the file is written.
    void unwritableFileIsToldOnce()
    {
        const fs::path folder = file.parent_path() / "missing";
        const std::string target = (folder / "vistrel.set").string();
        std::vector<std::string> told;
        {
            SettingsDialog settings(&history, &window, nullptr, target);
            settings.SetReporter([&](const std::string& text) { told.push_back(text); });
            settings.CommitSettings();
            settings.WriteSettingsFile();
            QCOMPARE(settings.SE_mgd->value(), 100);
        }
        QVERIFY(!fs::exists(folder));
        QCOMPARE(told.size(), size_t(1));
        QVERIFY(told[0].find(target) != std::string::npos);
        QVERIFY(told[0].find("No such file or directory") != std::string::npos);
    }

    void storeDataFileNameForcesTheExtension_data()
    {
        QTest::addColumn<QByteArray>("chosen");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("other extension")
            << QByteArray("/work/coll.txt") << QByteArray("/work/coll.vsgc");
        QTest::newRow("no extension") << QByteArray("/work/coll") << QByteArray("/work/coll.vsgc");
        QTest::newRow("dot in a folder name")
            << QByteArray("/work.d/coll") << QByteArray("/work.d/coll.vsgc");
        QTest::newRow("already right") << QByteArray("/w/c.vsgc") << QByteArray("/w/c.vsgc");
    }

    void storeDataFileNameForcesTheExtension()
    {
        QFETCH(QByteArray, chosen);
        QFETCH(QByteArray, stored);
        SettingsDialog settings(&history, &window, nullptr, file.string());
        settings.SE_mgd->setValue(60);
        settings.StoreDataFileName(chosen.toStdString());
        QCOMPARE(settings.ReadDataFileName(), stored.toStdString());
        // Written at once, together with whatever the controls hold.
        const std::string written = readFile(file);
        QVERIFY(written.find("DATA_FILE_NAME=\"" + stored.toStdString() + "\"")
                != std::string::npos);
        QVERIFY(written.find("MG_DIAMETER=\"60\"") != std::string::npos);
    }

    void settingsFileFollowsTheExecutable_data()
    {
        QTest::addColumn<QByteArray>("executable");
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("no extension")
            << QByteArray("/opt/vistrel") << QByteArray("/opt/vistrel.set");
        QTest::newRow("extension")
            << QByteArray("/opt/vistrel.exe") << QByteArray("/opt/vistrel.set");
        QTest::newRow("dotted folder")
            << QByteArray("/opt.1/vistrel") << QByteArray("/opt.1/vistrel.set");
    }

    void settingsFileFollowsTheExecutable()
    {
        QFETCH(QByteArray, executable);
        QFETCH(QByteArray, settings);
        QCOMPARE(ReplaceFileExtension(executable.toStdString(), ".set"), settings.toStdString());
    }

    // The stored history loads whole, in one change of the list, also beyond the limit (it
    // applies when a picture is added): a run that opens nothing writes back what it read.
    void twentyEntriesWithLimitFourLoadAndStoreWhole()
    {
        std::string hits;
        for (int i = 0; i < 20; ++i)
            hits += "\r\n\t\t<HIT HIT_FILE=\"/p/" + std::to_string(i) + ".jpg\"/>";
        const std::string stored = "\r\n<SETTINGS HRC=\"4\" FND=\"Y\">\r\n\t<HISTORY>" + hits
            + "\r\n\t</HISTORY>\r\n</SETTINGS>";
        writeFile(file, stored);
        history.entries = {"left over"};
        history.selected = 0;
        history.assignments = 0;
        {
            SettingsDialog settings(&history, &window, nullptr, file.string());
            QCOMPARE(history.Count(), 20);
            QCOMPARE(history.Item(0), std::string("/p/0.jpg"));
            QCOMPARE(history.Item(19), std::string("/p/19.jpg"));
            QCOMPARE(history.SelectedIndex(), -1);
            QCOMPARE(history.assignments, 1);
            QCOMPARE(settings.SE_history->value(), 4);
            settings.StoreHistory();
        }
        QCOMPARE(readFile(file), stored);
    }

    void hitWithoutFileGivesAnEmptyEntry()
    {
        writeFile(file,
                  "\r\n<SETTINGS>\r\n\t<HISTORY>\r\n\t\t<HIT/>\r\n\t\t<OTHER HIT_FILE=\"x\"/>"
                  "\r\n\t\t<HIT HIT_FILE=\"/b.gif\"/>\r\n\t</HISTORY>\r\n</SETTINGS>");
        SettingsDialog settings(&history, &window, nullptr, file.string());
        QCOMPARE(history.entries, (std::vector<std::string> {"", "/b.gif"}));
    }

    void storedHistoryReadsBackByteForByte()
    {
        const std::vector<std::string> paths
            = {"/a.jpg", "/odd \xff name.bmp", "/q\"%<>.gif", "/a.jpg"};
        {
            SettingsDialog settings(&history, &window, nullptr, file.string());
            history.entries = paths;
            settings.StoreHistory();
            history.entries.clear();
            settings.StoreHistory();
            history.entries = paths;
            settings.StoreHistory();
        }
        FakeHistory loaded;
        SettingsDialog settings(&loaded, &window, nullptr, file.string());
        QCOMPARE(loaded.entries, paths);
    }

    // Nothing shown yet: an empty HISTORY element reaches the file at the end of the run.
    void clearedHistoryIsStoredEmpty()
    {
        writeFile(file,
                  "\r\n<SETTINGS>\r\n\t<HISTORY>\r\n\t\t<HIT HIT_FILE=\"/a\"/>\r\n\t"
                  "</HISTORY>\r\n</SETTINGS>");
        {
            SettingsDialog settings(&history, &window, nullptr, file.string());
            history.Clear();
            settings.StoreHistory();
        }
        QCOMPARE(readFile(file), std::string("\r\n<SETTINGS>\r\n\t<HISTORY/>\r\n</SETTINGS>"));
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    fs::path file;
    FakeHistory history;
    FakeWindow window;
};

QTEST_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
