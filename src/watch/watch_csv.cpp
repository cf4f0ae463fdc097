#include "watch/watch_csv.h"

#include <QStringList>
#include <map>

#include "watch/watch.h"

namespace watch {

namespace {

QStringList HeaderFields(const std::vector<const TWatch*>& watches) {
    QStringList fields{"time"};
    for (const TWatch* watch : watches) {
        const TSampleRing* ring = watch->Ring();
        if (!ring) continue;
        for (int c = 0; c < ring->Channels(); ++c) {
            const QString name = ChannelName(watch->RingKind(), c);
            fields << CsvField(name.isEmpty() ? watch->Path() : watch->Path() + " " + name);
        }
    }
    return fields;
}

}  // namespace

QString CsvField(const QString& text) {
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    return "\"" + QString(text).replace("\"", "\"\"") + "\"";
}

QString CsvText(const std::vector<const TWatch*>& watches) {
    // every time any watch sampled, with its line's fields after the time
    std::map<double, QStringList> lines;
    int columns = 0;
    for (const TWatch* watch : watches) {
        const TSampleRing* ring = watch->Ring();
        if (!ring) continue;
        for (std::size_t i = 0; i < ring->Size(); ++i) {
            QStringList& line = lines[ring->Time(i)];
            while (line.size() < columns) line << QString();
            for (int c = 0; c < ring->Channels(); ++c)
                line << QString::number(ring->Value(i, c), 'g', 9);
        }
        columns += ring->Channels();
        for (auto& [time, line] : lines)
            while (line.size() < columns) line << QString();
    }
    QString text = HeaderFields(watches).join(',') + "\n";
    for (const auto& [time, line] : lines)
        text +=
            QString::number(time, 'g', 12) + (line.isEmpty() ? "" : ",") + line.join(',') + "\n";
    return text;
}

}  // namespace watch
