#pragma once

#include <cstdio>
#include <string>

/** One line of the benchmark table, printed as tab-separated fields after the word FIGURE so that
    scripts/bench.sh can collect the lines of every benchmark program into one table.
    `met` is empty for figures that have no goal.
*/
struct BenchmarkFigure
{
    std::string name, measured, baseline;
    double ratio = 0;
    std::string goal, met;

    void print() const
    {
        std::printf ("FIGURE\t%s\t%s\t%s\t%.3f\t%s\t%s\n", name.c_str(), measured.c_str(), baseline.c_str(), ratio,
                     goal.empty() ? "-" : goal.c_str(), met.empty() ? "-" : met.c_str());
        std::fflush (stdout);
    }

    static std::string format (double value, const char* unit)
    {
        char text[64];
        std::snprintf (text, sizeof (text), value >= 100 ? "%.0f %s" : value >= 10 ? "%.1f %s" : "%.2f %s", value, unit);
        return text;
    }

    static std::string yesNo (bool condition)     { return condition ? "yes" : "NO"; }
};
