/* Export marker and calling convention shared by the public C headers,
 * which need C11 or later (anonymous unions, _Static_assert, char16_t) or
 * C++. */
#ifndef GRIDMOOR_API_H
#define GRIDMOOR_API_H

#if !defined(__cplusplus) && (!defined(__STDC_VERSION__) || __STDC_VERSION__ < 201112L)
#error "the gridmoor headers need C11 or later"
#endif

#if defined(__GNUC__)
#define GM_API __attribute__((visibility("default")))
#else
#define GM_API
#endif

#ifdef __cplusplus
#define GM_EXTERN_C_BEGIN extern "C" {
#define GM_EXTERN_C_END }
#else
#define GM_EXTERN_C_BEGIN
#define GM_EXTERN_C_END
#endif

#endif
