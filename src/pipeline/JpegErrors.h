#pragma once
// Error handling for the paths that call libjpeg-turbo directly. libjpeg reports an error
// by calling a function that must not return: it jumps back to the caller's setjmp point.
// Warnings stay off the console, as they do in FreeImage. One of them is remembered: data
// that ran out before the picture did, after which libjpeg fills the rest of the picture with
// grey (JWRN_JPEG_EOF, "premature end of JPEG file").
#include <jerror.h>

#include <csetjmp>

#include "pipeline/JpegLib.h"

struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  bool endedEarly = false;  // the data ended before the picture
};

[[noreturn]] inline void JumpBackOnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

inline void KeepJpegWarningsQuiet(j_common_ptr) {}

// Level -1 is a warning; the others are trace messages, which are not shown either.
inline void NoteJpegWarning(j_common_ptr info, int level) {
  if (level >= 0) return;
  ++info->err->num_warnings;
  if (info->err->msg_code == JWRN_JPEG_EOF) reinterpret_cast<JpegErrorManager*>(info->err)->endedEarly = true;
}

// Sets up `errors` for a libjpeg object and returns what belongs in its `err` field.
inline jpeg_error_mgr* PrepareJpegErrors(JpegErrorManager& errors) {
  jpeg_error_mgr* manager = jpeg_std_error(&errors.base);
  errors.base.error_exit = JumpBackOnJpegError;
  errors.base.output_message = KeepJpegWarningsQuiet;
  errors.base.emit_message = NoteJpegWarning;
  return manager;
}
