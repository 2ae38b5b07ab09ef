// The texts of a VARIANT that holds an array of BSTRs (what the toolkit's listing exports hand back).
#pragma once

#include "platform/oleauto.h"

#include <QStringList>

namespace tagsink::app {

/// The elements of a VT_ARRAY|VT_BSTR, in index order; empty for anything else (VT_NULL, VT_EMPTY).
QStringList StringsOf(const VARIANT& value);

} // namespace tagsink::app
