#pragma once
// Every object class, for code that creates or inspects objects.

#include "sdf/Array.h"
#include "sdf/Dict.h"
#include "sdf/Indirect.h"
#include "sdf/Name.h"
#include "sdf/Obj.h"
#include "sdf/ObjVisitor.h"
#include "sdf/Scalars.h"
#include "sdf/Str.h"
#include "sdf/Stream.h"
