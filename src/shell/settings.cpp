#include "shell/settings.h"

#include "core/value_text.h"
#include "core/vorn_string.h"
#include "vorn/os.h"

namespace mw {

QString ReadSetting(const char* key, const char* fallback) {
    VornString text;
    text.adopt(VnOS->Setting(key, fallback, 0));
    return QString::fromUtf8(text.c_str());
}

void WriteSetting(const char* key, const QString& value) {
    VornString stored;
    stored.adopt(VnOS->Setting(key, value.toUtf8().constData(), 1));
}

bool SettingFlag(const char* key, const char* fallback) {
    return ReadSetting(key, fallback).startsWith('1');
}

int SettingNumber(const char* key, const char* fallback) {
    return IntegerValue(ReadSetting(key, fallback).toUtf8().constData());
}

void WriteFlag(const char* key, bool on) { WriteSetting(key, on ? "1" : "0"); }

void WriteNumber(const char* key, int value) { WriteSetting(key, QString::number(value)); }

}  // namespace mw
