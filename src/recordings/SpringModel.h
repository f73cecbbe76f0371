// The force of the reference spring that may sit in well 1, as a function of its position.
#pragma once

#include <array>
#include <cstdint>

class SpringModel {
public:
    // Invalid model (no spring).
    SpringModel() : SpringModel(0) {}
    // Types 1 to 4 (rubber grommet, rubber spacer, silver spring, gold spring) are valid; any
    // other type gives a model with valid false, whose force is 0 everywhere.
    explicit SpringModel(int32_t springType);

    // Newtons at a position in micrometres: 0 below minUm, then the low quadratic below
    // switchUm and the high one from there, never negative.
    double SpringForce(double positionUm) const;

    int32_t type;
    bool valid = false;
    int32_t referenceWell = 1;
    double travelUm = 0.0;
    double marginUm = 250.0;
    double switchUm = 0.0;
    double minUm = 0.0;
    // c0, c1, c2 below switchUm; c3, c4, c5 from switchUm (x², x, 1).
    std::array<double, 6> c{};
};
