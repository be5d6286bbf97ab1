#include "Readings.h"

#include <array>
#include <utility>

namespace tavo {

bool Readings::has(Field field) const {
    static_assert(std::tuple_size_v<decltype(fieldsOf(std::declval<Readings&>()))> ==
                      std::size_t(Field::Count),
                  "every Field has its member in fieldsOf, in the same order");
    const auto present = std::apply(
        [](const auto&... value) {
            return std::array<bool, sizeof...(value)>{value.has_value()...};
        },
        fieldsOf(*this));
    const auto at = std::size_t(field);
    return at < present.size() && present[at];
}

void Readings::take(const Readings& other) {
    std::apply(
        [&other](auto&... mine) {
            std::apply(
                [&mine...](const auto&... theirs) {
                    ((theirs ? void(mine = theirs) : void()), ...);
                },
                fieldsOf(other));
        },
        fieldsOf(*this));
}

bool Readings::operator==(const Readings& other) const {
    return fieldsOf(*this) == fieldsOf(other);
}

} // namespace tavo
