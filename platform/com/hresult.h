// Result codes of the object model: a signed 32-bit number whose high bit
// marks failure. The values are the ones the servers were designed with, so
// scripts and logs compare them with familiar numbers.
#pragma once

#include <cstdint>

namespace velkin::com {

using HRESULT = std::int32_t;

constexpr HRESULT hresultFrom(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresultFrom(0x80004001u);
constexpr HRESULT E_NOINTERFACE = hresultFrom(0x80004002u);
constexpr HRESULT E_POINTER = hresultFrom(0x80004003u);
constexpr HRESULT E_FAIL = hresultFrom(0x80004005u);
constexpr HRESULT E_UNEXPECTED = hresultFrom(0x8000FFFFu);
constexpr HRESULT E_INVALIDARG = hresultFrom(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = hresultFrom(0x8007000Eu);
constexpr HRESULT CLASS_E_NOAGGREGATION = hresultFrom(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresultFrom(0x80040111u);
// Both self-registration and connection points start their codes at 0x200
// of the interface facility, so these two share a number.
constexpr HRESULT CONNECT_E_NOCONNECTION = hresultFrom(0x80040200u);
constexpr HRESULT SELFREG_E_TYPELIB = hresultFrom(0x80040200u);
constexpr HRESULT SELFREG_E_CLASS = hresultFrom(0x80040201u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresultFrom(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = hresultFrom(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = hresultFrom(0x80020006u);
constexpr HRESULT DISP_E_BADPARAMCOUNT = hresultFrom(0x8002000Eu);
constexpr HRESULT TYPE_E_REGISTRYACCESS = hresultFrom(0x8002801Cu);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

}  // namespace velkin::com
