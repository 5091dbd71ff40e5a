// SPDX-License-Identifier: Apache-2.0
// The calling thread's last-error value.
//
// Transport failures are reported as a 0 result plus this value, as the
// internet library does; each thread has its own.
#pragma once

#include "platform/kernel/WinTypes.h"

DWORD GetLastError();
void SetLastError(DWORD error);

/// The Windows error number nearest to a C library `errno` value, for
/// platform calls that fail on a system call.
DWORD ErrorFromErrno(int error);

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_DLL_INIT_FAILED = 1114;
constexpr DWORD ERROR_ARITHMETIC_OVERFLOW = 534;
/// An asynchronous operation goes on: its owner is told when it may go further.
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_CANCELLED = 1223;
/// A database whose layout this program does not know: one made by a newer release.
constexpr DWORD ERROR_REVISION_MISMATCH = 1306;
constexpr DWORD ERROR_UNSUPPORTED_TYPE = 1630;
