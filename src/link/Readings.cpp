#include "Readings.h"

namespace tavo {

bool Readings::has(Field field) const {
    switch (field) {
    case Field::Power:
        return power.has_value();
    case Field::Input:
        return input.has_value();
    case Field::LampHours:
        return lampHours.has_value();
    case Field::Temperatures:
        return temperatures.has_value();
    case Field::Reversal:
        return reversal.has_value();
    }
    return false;
}

void Readings::take(const Readings& other) {
    if (other.power)
        power = other.power;
    if (other.input)
        input = other.input;
    if (other.lampHours)
        lampHours = other.lampHours;
    if (other.temperatures)
        temperatures = other.temperatures;
    if (other.reversal)
        reversal = other.reversal;
}

bool Readings::operator==(const Readings& other) const {
    return power == other.power && input == other.input && lampHours == other.lampHours &&
           temperatures == other.temperatures && reversal == other.reversal;
}

} // namespace tavo
