// HRESULTs the simulated servers return (published OPC DA and COM values).
#pragma once
#include <platform/oleauto.h>

namespace tagclient::transport::sim::code {

constexpr HRESULT InvalidHandle = static_cast<HRESULT>(0xC0040001L);
constexpr HRESULT BadType = static_cast<HRESULT>(0xC0040004L);
constexpr HRESULT BadRights = static_cast<HRESULT>(0xC0040006L);
constexpr HRESULT UnknownItemId = static_cast<HRESULT>(0xC0040007L);
constexpr HRESULT InvalidItemId = static_cast<HRESULT>(0xC0040008L);
constexpr HRESULT Range = static_cast<HRESULT>(0xC004000BL);
constexpr HRESULT DuplicateName = static_cast<HRESULT>(0xC004000CL);
constexpr HRESULT UnsupportedRate = static_cast<HRESULT>(0x0004000DL);
constexpr HRESULT InvalidPid = static_cast<HRESULT>(0xC0040203L);
constexpr HRESULT NoConnection = static_cast<HRESULT>(0x80040200L);
constexpr HRESULT FormatEtc = static_cast<HRESULT>(0x80040064L);
constexpr HRESULT Tymed = static_cast<HRESULT>(0x80040069L);
constexpr HRESULT ServerUnavailable = static_cast<HRESULT>(0x800706BAL); // RPC server unavailable
constexpr HRESULT FileNotFound = static_cast<HRESULT>(0x80070002L);

} // namespace tagclient::transport::sim::code
