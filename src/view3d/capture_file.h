#pragma once

#include <QString>

class QImage;

// Saves a screenshot as the first free "capNNNN.bmp" (cap0000.bmp, cap0001.bmp, ...) in the
// "capture/" folder below the runtime's base path, which it creates. The name is taken by
// creating the file exclusively, so two screenshots never share a name and an existing file,
// readable or not, is never written over. Answers the path, or an empty text and why not.
QString SaveCapture(const QImage& image, QString* why);
