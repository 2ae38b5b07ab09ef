#include "engine/statement/calc_expression.hpp"

#include "engine/statement/conversion_error.hpp"
#include "engine/statement/field_format.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "platform/variant.hpp"

#include <muParser.h>

#include <cmath>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tagsink {

namespace {

// One parsed expression: the parser, the names it uses and one storage slot per name. Parsed once and kept,
// so evaluating again only fills the slots and runs the parser's byte code.
class CompiledExpr {
public:
    explicit CompiledExpr(const std::string& text) {
        parser_.SetVarFactory(&CompiledExpr::AddVariable, this);
        try {
            // The parser's own constants carry only 13 digits.
            parser_.DefineConst("_pi", std::acos(-1.0));
            parser_.DefineConst("_e", std::exp(1.0));
            parser_.SetExpr(text);
            parser_.Eval(); // parses now, so that the names are known before the first real evaluation
        } catch (const mu::Parser::exception_type& e) {
            error_ = e.GetMsg();
        }
    }

    const std::string& Error() const { return error_; }
    const std::vector<std::string>& Names() const { return names_; }

    double Evaluate(const std::vector<double>& values) {
        for (std::size_t i = 0; i < values.size(); ++i)
            *slots_[i] = values[i];
        try {
            return parser_.Eval();
        } catch (const mu::Parser::exception_type& e) {
            throw CalcError(e.GetMsg());
        }
    }

private:
    static double* AddVariable(const char* name, void* self) {
        auto* compiled = static_cast<CompiledExpr*>(self);
        compiled->names_.emplace_back(name);
        compiled->storage_.push_back(0.0); // a deque keeps the addresses of earlier slots
        compiled->slots_.push_back(&compiled->storage_.back());
        return compiled->slots_.back();
    }

    mu::Parser parser_;
    std::vector<std::string> names_;
    std::deque<double> storage_;
    std::vector<double*> slots_;
    std::string error_;
};

// Parsed expressions by text, per thread (the builder runs on one thread; the cache needs no lock).
CompiledExpr& Compiled(const std::string& text) {
    constexpr std::size_t kLimit = 4096; // more distinct expressions than any project has: start afresh
    thread_local std::unordered_map<std::string, std::unique_ptr<CompiledExpr>> cache;
    auto found = cache.find(text);
    if (found != cache.end())
        return *found->second;
    if (cache.size() >= kLimit)
        cache.clear();
    return *cache.emplace(text, std::make_unique<CompiledExpr>(text)).first->second;
}

// The items whose expressions are being evaluated, innermost last: a reference back to one is a cycle.
thread_local std::vector<const TItem*> evaluating;

class EvaluatingGuard {
public:
    explicit EvaluatingGuard(const TItem& item) { evaluating.push_back(&item); }
    ~EvaluatingGuard() { evaluating.pop_back(); }
    EvaluatingGuard(const EvaluatingGuard&) = delete;
    EvaluatingGuard& operator=(const EvaluatingGuard&) = delete;
};

double Evaluate(const TItem& item);

// The number an item stands for inside an expression.
double ReferencedValue(const TItem& item) {
    switch (item.GainType()) {
    case TGainType::gtFixed: {
        const qz::Variant text(item.DefaultValue());
        try {
            return VariantToDouble(text, "a number");
        } catch (const ConversionError&) {
            throw CalcError("the DefaultValue of " + item.Name() + " (\"" + item.DefaultValue() +
                            "\") is not a number");
        }
    }
    case TGainType::gtCalc:
        try {
            return Evaluate(item);
        } catch (const CalcError& e) {
            throw CalcError("in " + item.Name() + ": " + e.what());
        }
    case TGainType::gtGain:
    default: {
        const VARIANT& value = item.Value;
        if (value.vt == VT_EMPTY || value.vt == VT_NULL)
            return 0.0; // no value received yet
        if (value.vt == VT_BOOL)
            return value.boolVal ? 1.0 : 0.0;
        try {
            return VariantToDouble(value, "a number");
        } catch (const ConversionError&) {
            throw CalcError(item.Name() + " holds " + DescribeValue(value) + ", which is not a number");
        }
    }
    }
}

double Evaluate(const TItem& item) {
    for (const TItem* outer : evaluating) {
        if (outer == &item)
            throw CalcError("circular reference through " + item.Name());
    }
    EvaluatingGuard guard(item);
    CompiledExpr& compiled = Compiled(item.CalcExpr());
    if (!compiled.Error().empty())
        throw CalcError(compiled.Error());
    // The referenced values are gathered first and stored into the slots only right before the parser runs:
    // a nested evaluation may use the same parsed expression.
    std::vector<double> values;
    values.reserve(compiled.Names().size());
    const TGroup& group = item.Group();
    for (const std::string& name : compiled.Names()) {
        const TItem* referenced = group.FindItem(name);
        if (referenced == nullptr)
            throw CalcError("unknown item \"" + name + "\" (no item of group " + group.Name() +
                            " has that name)");
        values.push_back(ReferencedValue(*referenced));
    }
    const double result = compiled.Evaluate(values);
    if (!std::isfinite(result))
        throw CalcError(std::string("the result is ") + (std::isnan(result) ? "not a number" : "infinite"));
    return result;
}

} // namespace

double EvaluateCalcExpr(const TItem& item) {
    return Evaluate(item);
}

} // namespace tagsink
