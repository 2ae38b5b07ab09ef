// HRESULTs the simulated servers return (published OPC DA and COM values).
#pragma once
#include <platform/oleauto.h>

namespace tagclient::transport::sim::code {

constexpr HRESULT kInvalidHandle = static_cast<HRESULT>(0xC0040001L);
constexpr HRESULT kBadType = static_cast<HRESULT>(0xC0040004L);
constexpr HRESULT kBadRights = static_cast<HRESULT>(0xC0040006L);
constexpr HRESULT kUnknownItemId = static_cast<HRESULT>(0xC0040007L);
constexpr HRESULT kInvalidItemId = static_cast<HRESULT>(0xC0040008L);
constexpr HRESULT kRange = static_cast<HRESULT>(0xC004000BL);
constexpr HRESULT kDuplicateName = static_cast<HRESULT>(0xC004000CL);
constexpr HRESULT kUnsupportedRate = static_cast<HRESULT>(0x0004000DL);
constexpr HRESULT kInvalidPid = static_cast<HRESULT>(0xC0040203L);
constexpr HRESULT kNoConnection = static_cast<HRESULT>(0x80040200L);
constexpr HRESULT kFormatEtc = static_cast<HRESULT>(0x80040064L);
constexpr HRESULT kTymed = static_cast<HRESULT>(0x80040069L);
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BAL); // RPC server unavailable
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002L);

} // namespace tagclient::transport::sim::code
