// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TJpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include <jpeglib.h>

namespace {

// libjpeg's default error handler calls exit(); this one jumps back to the decoder instead,
// with the library's message kept.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void ErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (for example a stream cut short) are not printed; the decoder goes on.
extern "C" void OutputMessage(j_common_ptr) {}

// Everything the decoder touches lives here, outside the frame that calls setjmp, so that a
// jump back skips no destructor.
struct DecodeState {
    jpeg_decompress_struct info;
    ErrorManager errors;
    const unsigned char* data = nullptr;
    unsigned long size = 0;
    QImage image;
};

// Returns false with state->errors.message set when libjpeg reports an error.
bool Decode(DecodeState* state) {
    state->info.err = jpeg_std_error(&state->errors.base);
    state->errors.base.error_exit = ErrorExit;
    state->errors.base.output_message = OutputMessage;
    state->errors.message[0] = '\0';
    if (setjmp(state->errors.jump) != 0) {
        jpeg_destroy_decompress(&state->info);
        return false;
    }
    jpeg_create_decompress(&state->info);
    jpeg_mem_src(&state->info, state->data, state->size);
    jpeg_read_header(&state->info, TRUE);
    state->info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&state->info);
    if (state->info.output_components != 3 ||
        state->info.output_width > static_cast<JDIMENSION>(std::numeric_limits<int>::max()) ||
        state->info.output_height > static_cast<JDIMENSION>(std::numeric_limits<int>::max())) {
        std::strcpy(state->errors.message, "Unsupported JPEG image");
        jpeg_destroy_decompress(&state->info);
        return false;
    }
    state->image = QImage(static_cast<int>(state->info.output_width),
                          static_cast<int>(state->info.output_height), QImage::Format_RGB888);
    if (state->image.isNull()) {
        std::strcpy(state->errors.message, "Out of memory for the JPEG image");
        jpeg_destroy_decompress(&state->info);
        return false;
    }
    while (state->info.output_scanline < state->info.output_height) {
        JSAMPROW row = state->image.scanLine(static_cast<int>(state->info.output_scanline));
        jpeg_read_scanlines(&state->info, &row, 1);
    }
    jpeg_finish_decompress(&state->info);
    jpeg_destroy_decompress(&state->info);
    return true;
}

} // namespace

void TJpegImage::LoadFromData(const QByteArray& data) {
    if (data.isEmpty()) {
        throw EJpegError("Empty JPEG data");
    }
    auto state = std::make_unique<DecodeState>();
    state->data = reinterpret_cast<const unsigned char*>(data.constData());
    state->size = static_cast<unsigned long>(data.size());
    if (!Decode(state.get())) {
        throw EJpegError(state->errors.message);
    }
    image = std::move(state->image);
}
