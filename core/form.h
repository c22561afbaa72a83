/*
 * Form field readers and two string utilities, exported under plain names
 * for the console's other page modules. The readers look fields up through
 * the host console (HttpFindNameAndValue, HttpUnConvertName).
 */
#ifndef HXM_CORE_FORM_H
#define HXM_CORE_FORM_H

#include <stddef.h>

#include "base/export.h"

extern "C" {

/* Decoded value of field `name` into `out` (maxLength + 1 bytes, maxLength
 * at most 4095); returns the raw (encoded) length, 0 and "" when absent. */
HXM_EXPORT int POST_GET_STRING(const char *postData, const char *name, char *out, int maxLength);

/* POST_GET_STRING with the maximum fixed at 4095; `out` holds 4096 bytes. */
HXM_EXPORT int POST_GET_URL(const char *postData, const char *name, char *out);

/* Field read as a decimal integer (strtol rules) into *result, else the
 * default. Returns 0. */
HXM_EXPORT int POST_GET_INT(const char *postData, const char *name, int *result, int defaultValue);

/* *result = 1 when the field equals checkText (any case), 0 when it differs,
 * the default when absent. Returns 0. */
HXM_EXPORT int POST_CHECKBOX(const char *postData, const char *name, const char *checkText,
                             int *result, int defaultValue);

/* Reads an "on"/"off" field: *result 1 or 0 and 0 returned; anything else
 * (or absent) returns 2 with *result 1. */
HXM_EXPORT int POST_RADIOBUTTON(const char *postData, const char *name, int *result);

/* Copies source to destination, dropping every second slash of each run of
 * slashes; destination may be source. Returns 0. */
HXM_EXPORT int compressURI(char *destination, const char *source);

/* Upper-cases the text in place (current locale). Returns 0. */
HXM_EXPORT int _strupr(char *text);
}

namespace hxm2afp {

/* What a form field read found. */
enum class FormField { kAbsent, kTooLong, kValue };

/* Reads field `name` of the raw form data `body` (null: none) into `out`
 * (`size` bytes, at most 1,366 of them used), decoded: kValue with its text
 * (a field without "=" has the empty text), else kAbsent or kTooLong with
 * `out` empty. A value is too long when its decoded text does not fit
 * `out`, or its encoded one could not (more than three encoded bytes for
 * each byte). Every page reads its fields through this. */
FormField read_form_field(const char *body, const char *name, char *out, size_t size);

} // namespace hxm2afp

#endif
