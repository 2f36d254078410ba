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

    /** The goal that the ratio stays at or below `limit`, and whether it does. */
    BenchmarkFigure& atMost (double limit)
    {
        goal = "<= " + formatLimit (limit);
        met = yesNo (ratio > 0 && ratio <= limit);
        return *this;
    }

    /** The goal that the ratio reaches `limit`, and whether it does. */
    BenchmarkFigure& atLeast (double limit)
    {
        goal = ">= " + formatLimit (limit);
        met = yesNo (ratio >= limit);
        return *this;
    }

private:
    static std::string formatLimit (double limit)
    {
        char text[32];
        std::snprintf (text, sizeof (text), "%g", limit);
        return text;
    }
};
