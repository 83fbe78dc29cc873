// The report's page template and scripts, compiled in from
// tools/gridmoor-host/report.
#pragma once

namespace refhost {

extern const char kReportPageHtml[];
extern const char kReportCommonJs[];
extern const char kReportRunJs[];
extern const char kReportManyJs[];

}  // namespace refhost
