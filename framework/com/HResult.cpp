// SPDX-License-Identifier: Apache-2.0
#include "framework/com/HResult.h"

#include "platform/kernel/LastError.h"

#include <cstdio>

namespace {

struct Known {
    HRESULT hr;
    const char* name;
    const char* text;
};

constexpr Known kKnown[] = {
    {S_OK, "S_OK", "success"},
    {S_FALSE, "S_FALSE", "success, with nothing done"},
    {E_NOTIMPL, "E_NOTIMPL", "not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "the object does not offer that interface"},
    {E_POINTER, "E_POINTER", "a required pointer was null"},
    {E_FAIL, "E_FAIL", "unspecified failure"},
    {E_UNEXPECTED, "E_UNEXPECTED", "unexpected failure"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "not enough memory"},
    {E_INVALIDARG, "E_INVALIDARG", "an argument is not valid"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION", "the class cannot be aggregated"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE",
     "the module does not provide that class"},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB", "the registry could not be read"},
    {REGDB_E_WRITEREGDB, "REGDB_E_WRITEREGDB", "the registry could not be written"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "the class is not registered"},
    {SELFREG_E_TYPELIB, "SELFREG_E_TYPELIB",
     "the type library could not be registered or unregistered"},
    {SELFREG_E_CLASS, "SELFREG_E_CLASS", "a class could not be registered or unregistered"},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "the module was not initialised"},
    {CO_E_CLASSSTRING, "CO_E_CLASSSTRING", "not a valid class id or ProgID"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL", "the module does not export DllGetClassObject"},
    {TYPE_E_REGISTRYACCESS, "TYPE_E_REGISTRYACCESS", "the type library's records are not usable"},
    {TYPE_E_LIBNOTREGISTERED, "TYPE_E_LIBNOTREGISTERED", "the type library is not registered"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND", "the file does not exist"},
    {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "ERROR_ACCESS_DENIED", "access denied"},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "ERROR_MOD_NOT_FOUND",
     "the module file does not exist"},
    {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "ERROR_PROC_NOT_FOUND",
     "the module lacks an entry point"},
    {HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), "ERROR_BAD_EXE_FORMAT",
     "the file is not a loadable module"},
    {HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED), "ERROR_DLL_INIT_FAILED",
     "the module refused to initialise"},
};

} // namespace

std::string DescribeHResult(HRESULT hr) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(hr));
    for (const Known& k : kKnown) {
        if (k.hr == hr) {
            return std::string(number) + " " + k.name + ": " + k.text;
        }
    }
    return number;
}
