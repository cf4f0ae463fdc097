#pragma once

#include <QString>

namespace mw {

// Settings are texts kept by the runtime under fixed keys, read with a default.
QString ReadSetting(const char* key, const char* fallback);
void WriteSetting(const char* key, const QString& value);
// Flags test only the first character; numbers read as their leading integer (else 0).
bool SettingFlag(const char* key, const char* fallback);
int SettingNumber(const char* key, const char* fallback);
void WriteFlag(const char* key, bool on);
void WriteNumber(const char* key, int value);

}  // namespace mw
