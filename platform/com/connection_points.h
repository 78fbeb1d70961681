// The connection-point side of an object that offers no connection points:
// what IConnectionPointContainer's two methods answer for it.
#pragma once

#include "platform/com/interfaces.h"
#include "platform/com/object.h"

namespace velkin::com {

// FindConnectionPoint: sets *point to null, CONNECT_E_NOCONNECTION (E_POINTER
// for a null point).
HRESULT findNoConnectionPoint(IConnectionPoint** point);
// EnumConnectionPoints: a new enumerator over an empty list, counted in lock.
HRESULT enumerateNoConnectionPoints(ModuleLock* lock, IEnumConnectionPoints** points);

}  // namespace velkin::com
