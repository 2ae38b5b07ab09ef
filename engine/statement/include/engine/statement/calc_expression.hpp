// Calculated items (gtCalc): the CalcExpr of an item evaluated against the other items of its group.
//
// An expression is arithmetic over numbers and item names (for example `Item1 * 0.1 + Item2`); what it may
// contain is documented in docs/calc-expressions.md. A name stands for the value that item contributes to
// its row: the received value of a gtGain item (0 while it has none, 1 and 0 for booleans), the DefaultValue
// of a gtFixed item read as a number, the result of a gtCalc item. Names are matched without regard to case.
#pragma once

#include <stdexcept>
#include <string>

namespace tagsink {

class TItem;

// Why an expression gave no value: a syntax error, an unknown name, a reference cycle, a value that is not a
// number, or a result that is not a finite number. The message says which, and where.
class CalcError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of the item's CalcExpr. Throws CalcError.
double EvaluateCalcExpr(const TItem& item);

} // namespace tagsink
