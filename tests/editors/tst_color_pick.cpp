// The colour row and its dialog: the HSV conversion, what a colour shows, live edits that Cancel
// takes back exactly, fields that do not read as numbers, the spectrum and the custom colours.
#include <QHBoxLayout>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "editors/color_row_editor.h"
#include "editors/tm_color_pick.h"
#include "fake_shell.h"
#include "modal.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "shell/settings.h"
#include "test_env.h"
#include "vorn/os.h"

namespace {

using Floats = std::array<float, 4>;

bool SameBits(const float* a, const Floats& b) { return std::memcmp(a, b.data(), sizeof b) == 0; }

}  // namespace

class TestColorPick : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    std::unique_ptr<FakeShell> mShell;
    FakeOutput mOutput;
    std::unique_ptr<TEditorKit> mKit;
    std::unique_ptr<TmColorPick> mForm;
    VnRef<IRoot> mLight;
    std::unique_ptr<TRowEditor> mRow;

    TColorRowEditor* row() { return dynamic_cast<TColorRowEditor*>(mRow.get()); }
    float* color() { return row()->Color()->EditValue(); }
    void setColor(const Floats& rgba) { std::memcpy(color(), rgba.data(), sizeof rgba); }
    template <class T = QLineEdit>
    T* control(const char* name) {
        return mForm->findChild<T*>(name);
    }
    // Opens the row's dialog, runs `during` in it, then closes it with `button`.
    void edit(const std::function<void()>& during, const char* button) {
        AnswerNextModal([this, during, button](QWidget*) {
            during();
            control<QPushButton>(button)->click();
        });
        mRow->BeginEdit();
    }

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        mShell = std::make_unique<FakeShell>();
        mKit = std::make_unique<TEditorKit>(*mShell, mOutput);
        mForm = std::make_unique<TmColorPick>();
        mKit->AddForm(mForm.get());
        QVERIFY(VnOS->CreateInstance(VnMakeCLSID("kalix", "KxLight", -1), IID_IRoot, mLight.out()));
        mw::ForEachMember(mLight.get(), [this](const mw::MemberValue& value, const VnTypeInfo*) {
            if (std::strcmp(value.desc->name, "color") == 0) mRow = CreateRowEditor(value, *mKit);
        });
        QVERIFY(row());
        mRow->mOwner = mLight;  // as the grid gives it: its edits go on the history
        QVERIFY(mKit->FormOf<TmColorPick>() == mForm.get());
    }

    void rgbToHsv_data() {
        QTest::addColumn<Floats>("rgb");
        QTest::addColumn<Floats>("hsv");
        QTest::newRow("grey") << Floats{0.5f, 0.5f, 0.5f} << Floats{0, 0, 0.5f};
        QTest::newRow("black") << Floats{0, 0, 0} << Floats{0, 0, 0};
        QTest::newRow("red") << Floats{1, 0, 0} << Floats{0, 1, 1};
        QTest::newRow("yellow") << Floats{1, 1, 0} << Floats{60, 1, 1};
        QTest::newRow("green") << Floats{0, 0.5f, 0} << Floats{120, 1, 0.5f};
        QTest::newRow("blue") << Floats{0, 0, 1} << Floats{240, 1, 1};
        QTest::newRow("negative below 0") << Floats{0, -0.5f, -1} << Floats{-1, 0, 0};
        QTest::newRow("near 360") << Floats{1, 0, 0.01f} << Floats{359.4f, 1, 1};
    }
    // Catches hues off by a sector, a missed wrap below 0 and a division by a zero maximum.
    void rgbToHsv() {
        QFETCH(Floats, rgb);
        QFETCH(Floats, hsv);
        Floats got{};
        RgbToHsv(rgb[0], rgb[1], rgb[2], &got[0], &got[1], &got[2]);
        for (int k = 0; k < 3; ++k)
            QVERIFY2(qAbs(got[k] - hsv[k]) < 1e-3f, std::string(1, "hsv"[k]).c_str());
    }

    // Catches swapped channels or bytes in the cell, the swatch, the fields, the slider and the
    // sample number.
    void pureRedShowsEverywhere() {
        setColor({1, 0, 0, 1});
        char buffer[TRowEditor::kTextSize];
        QCOMPARE(QString(row()->GetText(buffer, sizeof buffer)), QString("255 00 00 255"));
        QImage cell(120, 20, QImage::Format_RGB32);
        cell.fill(Qt::black);
        {
            QPainter painter(&cell);
            mRow->Draw(1, painter, cell.rect());
        }
        QCOMPARE(cell.pixel(2, 2), qRgb(255, 0, 0));
        QCOMPARE(cell.pixel(17, 17), qRgb(255, 0, 0));
        QCOMPARE(cell.pixel(18, 18), qRgb(0, 0, 0));

        QStringList shown;
        edit(
            [&] {
                for (const char* name : {"mClrR", "mClrG", "mClrB", "mClrA", "mClrH", "mClrS",
                                         "mClrV", "mClrSampleNumber"})
                    shown << control(name)->text();
                shown << QString::number(control<QSlider>("mClrValue")->value());
            },
            "mCancel");
        QCOMPARE(shown, QStringList({"255", "0", "0", "255", "0", "255", "255", "0x0000FF", "0"}));
    }

    // Catches a dialog that does not write as the user types, and a Cancel that restores
    // rounded values (the alpha is no multiple of 1/1000).
    void cancelRestoresTheExactColor() {
        const Floats start{0.1234567f, 0.5f, 0.75f, 0.3337f};
        setColor(start);
        Floats afterRgb{}, afterAlpha{}, afterHsv{};
        edit(
            [&] {
                control("mClrR")->setText("51");
                std::memcpy(afterRgb.data(), color(), sizeof afterRgb);
                control<QSlider>("mClrAlpha")->setValue(200);
                std::memcpy(afterAlpha.data(), color(), sizeof afterAlpha);
                control("mClrV")->setText("0");
                std::memcpy(afterHsv.data(), color(), sizeof afterHsv);
            },
            "mCancel");
        QCOMPARE(afterRgb[0], 51 / 255.0f);
        QCOMPARE(afterAlpha[3], 0.2f);
        QCOMPARE(afterHsv[2], 0.0f);
        QCOMPARE(afterHsv[3], 0.2f);
        QVERIFY(SameBits(color(), start));
    }

    // Catches a dialog whose fill echoes rounded values back into the colour (the value slider
    // rounds 250/255 to 249).
    void okWithoutChangesKeepsTheBits() {
        const Floats start{0.123456f, 250 / 255.0f, 0.333333f, 0.4567f};
        setColor(start);
        edit([] {}, "mOK");
        QVERIFY(SameBits(color(), start));
    }

    // Catches a dialog's live writes recorded one by one, a Cancel that leaves a step, and an
    // undo or redo that does not give back the exact colour.
    void liveChangesAreOneStep() {
        QUndoStack& steps = mKit->History().Stack();
        steps.clear();
        const Floats start{0.1234567f, 0.5f, 0.75f, 0.3337f};
        setColor(start);
        const auto change = [this] {
            control("mClrR")->setText("51");
            control<QSlider>("mClrAlpha")->setValue(200);
            control("mClrV")->setText("10");
        };
        edit(change, "mCancel");
        QCOMPARE(steps.count(), 0);
        edit(change, "mOK");
        QCOMPARE(steps.count(), 1);
        QCOMPARE(steps.undoText(), QString("Set color of KxLight"));
        Floats after{};
        std::memcpy(after.data(), color(), sizeof after);
        QVERIFY(mKit->History().Undo());
        QVERIFY(SameBits(color(), start));
        QVERIFY(mKit->History().Redo());
        QVERIFY(SameBits(color(), after));
    }

    void textThatIsNoNumber_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("letters in R") << "mClrR"
                                      << "abc";
        QTest::newRow("empty G") << "mClrG"
                                 << "";
        QTest::newRow("fraction in A") << "mClrA"
                                       << "12.5";
        QTest::newRow("trailing junk in H") << "mClrH"
                                            << "1x";
        QTest::newRow("blank V") << "mClrV"
                                 << "  ";
    }
    // Catches text read as 0: the colour must stay until the field reads again, then follow it.
    void textThatIsNoNumber() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        const Floats start{0.2f, 0.6f, 0.4f, 1.0f};
        setColor(start);
        bool kept = false, followed = false;
        edit(
            [&] {
                control(field.toLatin1().constData())->setText(text);
                kept = SameBits(color(), start);
                control(field.toLatin1().constData())->setText(" 0 ");
                followed = !SameBits(color(), start);
            },
            "mCancel");
        QVERIFY(kept);
        QVERIFY(followed);
    }

    // Catches a spectrum or scale drawn the wrong way round and picks off by the edge.
    void spectrumPicksHueAndSaturation() {
        auto* spectrum = control<QLabel>("mClrSpectrum");
        const QImage picture = spectrum->pixmap().toImage();
        QCOMPARE(picture.pixel(0, 0), qRgb(255, 0, 0));
        QVERIFY(qAbs(qGreen(picture.pixel(0, picture.height() - 1)) - 128) < 4);
        const QImage scale = control<QLabel>("Image2")->pixmap().toImage();
        QCOMPARE(scale.pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(scale.pixel(0, scale.height() - 1), qRgb(0, 0, 0));

        QTest::mousePress(spectrum, Qt::LeftButton, {}, QPoint(spectrum->width() - 1, 0));
        QVERIFY(control("mClrH")->text().toInt() >= 253);
        QCOMPARE(control("mClrS")->text(), QString("255"));
        QTest::mousePress(spectrum, Qt::LeftButton, {}, QPoint(0, spectrum->height() - 1));
        QCOMPARE(control("mClrH")->text(), QString("0"));
        QVERIFY(control("mClrS")->text().toInt() <= 2);
    }

    // Catches custom colours that are lost between runs, row 11 dropped, and a bad stored
    // entry that blanks the entries after it.
    void customColorsSurviveARestart() {
        mForm.reset();
        mw::WriteSetting("color_2", "255");
        mw::WriteSetting("color_3", "junk");
        mw::WriteSetting("color_36", "65280");
        mForm = std::make_unique<TmColorPick>();
        TColorGrid* grid = mForm->ColorGrid();
        QCOMPARE(grid->ColorAt(1, 0), 255u);
        QCOMPARE(grid->ColorAt(2, 0), 0xFFFFFFu);
        QCOMPARE(grid->ColorAt(0, 1), 0xFFFFFFu);
        QCOMPARE(grid->ColorAt(2, 11), 0x00FF00u);

        control("mClrR")->setText("18");
        control("mClrG")->setText("52");
        control("mClrB")->setText("86");
        control("mClrA")->setText("255");
        QCOMPARE(control("mClrSampleNumber")->text(), QString("0x563412"));
        grid->SetCurrent(1, 4);
        control<QPushButton>("mUpdateColor")->click();
        mForm.reset();
        mForm = std::make_unique<TmColorPick>();
        grid = mForm->ColorGrid();
        QCOMPARE(grid->ColorAt(1, 4), 0x563412u);
        QCOMPARE(grid->ColorAt(1, 0), 255u);
        QCOMPARE(grid->ColorAt(2, 11), 0x00FF00u);
        mKit->AddForm(mForm.get());
    }
};

QTEST_MAIN(TestColorPick)
#include "tst_color_pick.moc"
