// The records of the optimisation items: each item's own fields, then the
// four texts of its cell reference.
#pragma once

#include "archive/archive.h"

namespace optimisation {
class CExcObjFn;
class CExcConstraint;
class CExcControlVariable;
class CExcIntCtrlVariable;
}  // namespace optimisation

namespace archive {

void Transfer(Archive& archive, optimisation::CExcObjFn& objective);
void Transfer(Archive& archive, optimisation::CExcConstraint& constraint);
void Transfer(Archive& archive, optimisation::CExcControlVariable& control);
// 10 state pairs before version 33, 20 from it. A loaded state count is
// kept within 0 ... 20.
void Transfer(Archive& archive, optimisation::CExcIntCtrlVariable& control);

}  // namespace archive
