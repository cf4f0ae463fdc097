#include "platform/file_filter.h"

#include <QStringList>

namespace mw {

namespace {

// "*.a; *.b;*.*" as "*.a *.b *": the dialog's "*.*" would skip names without a dot.
QString PatternsToQt(const QString& patterns) {
    QStringList out;
    for (const QString& part : patterns.split(u';')) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty()) out << (pattern == u"*.*" ? QStringLiteral("*") : pattern);
    }
    out.removeDuplicates();
    return out.isEmpty() ? QStringLiteral("*") : out.join(u' ');
}

}  // namespace

QString ToQtFilter(const QString& windowsFilter) {
    QString source = windowsFilter.trimmed();
    if (source.endsWith(u'|')) source.chop(1);
    if (source.isEmpty()) return QStringLiteral("All files (*)");
    const QStringList parts = source.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patterns = "(" + PatternsToQt(parts.value(i + 1)) + ")";
        // The dialog reads the last parenthesised group, so it must hold the Qt patterns.
        if (description.endsWith(patterns)) {
            filters << description;
        } else {
            filters << (description.isEmpty() ? patterns : description + ' ' + patterns);
        }
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace mw
