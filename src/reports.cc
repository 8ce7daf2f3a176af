#include "reports.h"

void report_shared_memory()
{
}

void report_ghostscript()
{
}
