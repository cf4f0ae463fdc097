// Watches against a clock the test drives: how often samples are taken, the ring's bound,
// conditions that fire, raise or never fire, paths that stop and start resolving, the CSV, the
// settings, and the window's plot and reordering.
#include <Python.h>

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QTableView>
#include <QtTest>

#include "python_checks.h"
#include "shell/setting_keys.h"
#include "shell/settings.h"
#include "test_env.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"
#include "watch/watch_list.h"
#include "watch/watch_plot.h"
#include "watch/watch_window.h"

namespace {

PrintCollector gSink;

// Watches attribute `name` of the __main__ object `owner`.
int WatchAttribute(TWatchList& list, const char* owner, const char* name) {
    return list.AddBound(QString("%1.%2").arg(owner, name),
                         TWatchTarget::Attribute(MainValue(owner), name), false);
}

// Runs the list's idle passes every `stepMs` for `ms`, the clock moving `rate` seconds per
// second of wall time; answers the wall time reached.
qint64 Drive(TWatchList& list, qint64 fromMs, qint64 ms, qint64 stepMs, double rate,
             double* clock) {
    qint64 wall = fromMs;
    for (; wall < fromMs + ms; wall += stepMs) {
        list.Sample(*clock, wall);
        *clock += rate * static_cast<double>(stepMs) / 1000.0;
    }
    return wall;
}

}  // namespace

class TestWatch : public QObject {
    Q_OBJECT
    TestEnvironment mEnv;

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        QVERIFY(PyOS->SetEventSink(&gSink));
        QVERIFY(
            RunPython("class Ball: pass\nball = Ball()\nball.speed = 1.0\n"
                      "ball.place = (1.0, 2.0, 3.0)\nball.name = 'red'\n"));
    }

    void sampling_data() {
        QTest::addColumn<qint64>("stepMs");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        QTest::newRow("still clock takes none") << qint64(5) << 0.0 << 0 << 0;
        QTest::newRow("fast passes at most 60 a second") << qint64(1) << 1.0 << 58 << 60;
        QTest::newRow("slow passes one each") << qint64(50) << 1.0 << 19 << 20;
        QTest::newRow("a fast clock is still 60 a second") << qint64(2) << 8.0 << 58 << 60;
    }
    void sampling() {
        // Catches sampling on wall time while the clock stands still, more than 60 samples a
        // second of wall time, or passes that take no sample though one is due.
        QFETCH(qint64, stepMs);
        QFETCH(double, rate);
        TWatchList list;
        const int index = WatchAttribute(list, "ball", "speed");
        double clock = 5;
        list.Sample(clock, 0);  // the first pass only sees where the clock is
        Drive(list, 1, 1000, stepMs, rate, &clock);
        const TSampleRing* ring = list.At(index)->Ring();
        const int taken = ring ? static_cast<int>(ring->Size()) : 0;
        QFETCH(int, least);
        QFETCH(int, most);
        QVERIFY2(taken >= least && taken <= most, qPrintable(QString::number(taken)));
        if (taken > 1) QVERIFY(ring->Time(1) > ring->Time(0));
    }

    void ring_keeps_the_newest_within_its_bound() {
        // Catches a ring that grows past its capacity or drops the newest samples instead of
        // the oldest, and the ten minutes of 60 a second it promises.
        TSampleRing ring(3, 100);
        for (int i = 0; i < 250; ++i) {
            const float values[3] = {float(i), float(-i), 0};
            ring.Append(i, values);
        }
        QCOMPARE(ring.Size(), std::size_t(100));
        QCOMPARE(ring.Time(0), 150.0);
        QCOMPARE(ring.Value(99, 1), -249.0f);
        QCOMPARE(ring.NewestSince(240), std::size_t(90));
        QCOMPARE(ring.Bytes(), ring.MostBytes());
        QCOMPARE(TSampleRing::kCapacity, std::size_t(36000));
    }

    void conditions_data() {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("fires");
        QTest::addColumn<QString>("error");
        QTest::newRow("fires once as it becomes true") << "value > 2.5" << 1 << "";
        QTest::newRow("never fires") << "value < -100" << 0 << "";
        QTest::newRow("raises: shown and turned off")
            << "1 / (value - value)" << 0 << "ZeroDivisionError: float division by zero";
        QTest::newRow("fires again after being false") << "int(value) % 2 == 0" << 2 << "";
    }
    void conditions() {
        // Catches a condition that fires on every sample while true, one that never fires,
        // and one that raises being printed on every sample instead of turned off.
        QFETCH(QString, condition);
        QFETCH(int, fires);
        QFETCH(QString, error);
        TWatchList list;
        QVERIFY(RunPython("ball.speed = 1.0"));
        const int index = WatchAttribute(list, "ball", "speed");
        QString why;
        QVERIFY(list.SetCondition(index, condition, &why));
        std::vector<double> fired;
        list.SetOnFire([&](int at, double time) {
            QCOMPARE(at, index);
            fired.push_back(time);
        });
        const int printed = gSink.lines.size();
        double clock = 0;
        for (int step = 0; step < 40; ++step) {  // 1.0 up to 4.9
            list.Sample(clock, step * 20);
            clock += 0.5;
            QVERIFY(RunPython("ball.speed += 0.1"));
        }
        QCOMPARE(int(fired.size()), fires);
        QCOMPARE(list.At(index)->ConditionError(), error);
        QCOMPARE(list.At(index)->Fired(), fires > 0);
        QCOMPARE(gSink.lines.size(), printed);
        if (fires == 1) QCOMPARE(list.At(index)->FiredAt(), fired[0]);
    }

    void a_condition_that_does_not_compile_is_refused() {
        // Catches a syntax error accepted and then failing on every sample.
        TWatchList list;
        const int index = WatchAttribute(list, "ball", "speed");
        QString why;
        QVERIFY(!list.SetCondition(index, "value >", &why));
        QVERIFY2(why.startsWith("SyntaxError"), qPrintable(why));
        QVERIFY(list.At(index)->Condition().isEmpty());
    }

    void a_kept_path_stops_and_starts_resolving() {
        // Catches a kept path resolved once only, a watch reading a freed object, and a path
        // resolved again on every pass instead of a few times a second.
        TWatchList list;
        const QString path = R"(vorn.os.GetObject("kx:/watchcam").fieldOfView)";
        QString why;
        const int index = list.Add(path, &why);
        QCOMPARE(index, 0);
        QCOMPARE(list.At(index)->Text(), QString("(not found)"));
        VnRef<IRoot> camera;
        {
            PyRef made =
                PyRef::Steal(PyRun_String("vorn.os.CreateInstance('kalix.KxCamera')", Py_eval_input,
                                          watch::Globals(), watch::Globals()));
            QVERIFY(made);
            camera = VnRef<IRoot>(PyOS->Unwrap(made.get()));
        }
        QVERIFY(VnROT->Register("kx:/watchcam", camera.get()));
        list.Sample(0, 1000);
        QCOMPARE(list.At(index)->Text(), QString("60"));
        QVERIFY(VnROT->Revoke("kx:/watchcam"));
        camera.reset();
        list.Sample(0, 2000);
        QCOMPARE(list.At(index)->Text(), QString("(not found)"));
        // registered again: found at the next try, not before kResolveMs
        PyRef again = PyRef::Steal(PyRun_String("vorn.os.CreateInstance('kalix.KxCamera')",
                                                Py_eval_input, watch::Globals(), watch::Globals()));
        QVERIFY(VnROT->Register("kx:/watchcam", PyOS->Unwrap(again.get())));
        list.Sample(0, 2000 + TWatch::kResolveMs / 2);
        QCOMPARE(list.At(index)->Text(), QString("(not found)"));
        list.Sample(0, 2000 + TWatch::kResolveMs * 2);
        QCOMPARE(list.At(index)->Text(), QString("60"));
        QVERIFY(VnROT->Revoke("kx:/watchcam"));
    }

    void csv_has_a_time_column_and_one_per_value() {
        // Catches samples of different watches put on different lines at the same time, a
        // vector in one column, and a path with quotes or commas breaking the columns.
        TWatchList list;
        QVERIFY(RunPython("ball.speed = 1.5\nball.place = (1.0, 2.0, 3.0)"));
        const int speed = WatchAttribute(list, "ball", "speed");
        const int place = list.AddBound(R"(x["a,b"].place)",
                                        TWatchTarget::Attribute(MainValue("ball"), "place"), false);
        list.AddBound("ball.name", TWatchTarget::Attribute(MainValue("ball"), "name"), false);
        list.Sample(0, 0);
        list.Sample(0.5, 100);
        QVERIFY(RunPython("ball.speed = 2.0"));
        list.Sample(1.0, 200);
        QCOMPARE(list.Csv({speed, place, 2}),
                 QString("time,ball.speed,\"x[\"\"a,b\"\"].place 0\",\"x[\"\"a,b\"\"].place 1\","
                         "\"x[\"\"a,b\"\"].place 2\"\n"
                         "0.5,1.5,1,2,3\n"
                         "1,2,1,2,3\n"));
        QCOMPARE(list.Csv({place}).count('\n'), 3);
    }

    void kept_watches_come_back_from_the_settings() {
        // Catches a watch of the run stored, a kept one or its condition lost across runs.
        {
            TWatchList list;
            QString why;
            list.Add(R"(vorn.os.GetObject("kx:/dev").width)", &why);
            WatchAttribute(list, "ball", "speed");
            QVERIFY(list.SetCondition(0, "value > 4000", &why));
        }
        const QJsonArray stored =
            QJsonDocument::fromJson(mw::ReadSetting(mw::keys::kWatches, "").toUtf8()).array();
        QCOMPARE(stored.size(), 1);
        TWatchList list;
        list.Load();
        QCOMPARE(list.Count(), 1);
        QCOMPARE(list.At(0)->Path(), QString(R"(vorn.os.GetObject("kx:/dev").width)"));
        QCOMPARE(list.At(0)->Condition(), QString("value > 4000"));
        QVERIFY(list.At(0)->Text() != "(not found)");
        list.Forget();
        QCOMPARE(mw::ReadSetting(mw::keys::kWatches, ""),
                 QString(QJsonDocument(stored).toJson(QJsonDocument::Compact)));
    }

    void window_plots_and_reorders() {
        // Catches a plot that does not follow the clock, draws nothing for numbers or one line
        // for a vector, and a drag that does not move the watch.
        TWatchList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const int speed = WatchAttribute(list, "ball", "speed");
        const int place = WatchAttribute(list, "ball", "place");
        TWatchWindow window(list);
        window.resize(600, 400);
        window.show();
        double clock = 100;
        list.Sample(clock, 0);
        Drive(list, 1, 2000, 20, 1.0, &clock);
        window.Redraw();
        TWatchPlot* plot = window.Plot();
        QVERIFY(plot->Following());
        QCOMPARE(plot->To(), list.LastClock());
        QCOMPARE(plot->To() - plot->From(), TWatchPlot::kSpanSeconds);
        QVERIFY(plot->PointCount(0) > 0);
        QCOMPARE(plot->PointCount(1), 0);
        window.Table()->setCurrentIndex(list.index(place, 0));
        window.Redraw();
        QVERIFY(plot->PointCount(2) > 0);
        // a drag of the vector's row onto the first row moves it there
        std::unique_ptr<QMimeData> dragged(list.mimeData({list.index(place, 0)}));
        list.dropMimeData(dragged.get(), Qt::MoveAction, speed, 0, {});
        QCOMPARE(list.At(0)->Path(), QString("ball.place"));
        QCOMPARE(list.Count(), 2);
        QVERIFY(list.Remove(1));
        QCOMPARE(list.At(0)->Path(), QString("ball.place"));
    }

    void cleanupTestCase() { VnOS->Shutdown(); }
};

QTEST_MAIN(TestWatch)
#include "tst_watch.moc"
