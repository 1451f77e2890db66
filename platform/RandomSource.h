#pragma once
// Uniform draws in [0, 1). The program seeds from the clock and the process id, so two
// stations never draw in step; tests supply fixed sequences.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual double next() = 0;
};

class SystemRandom final : public RandomSource
{
public:
    SystemRandom();
    double next() override;

private:
    unsigned long long m_state;
};
