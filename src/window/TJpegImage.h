// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QImage>

#include <stdexcept>

// A JPEG decoding error, carrying the decoder's own message.
class EJpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A JPEG picture decoded from memory with libjpeg.
class TJpegImage {
public:
    // Decodes a whole JPEG stream held in memory. Throws EJpegError when the data cannot be
    // decoded; the previous picture is kept then.
    void LoadFromData(const QByteArray& data);

    const QImage& Image() const noexcept { return image; }

private:
    QImage image;
};
