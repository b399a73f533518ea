#include "operations/convert_report.hpp"

#include "platform/messages.hpp"

namespace tavro::operations {

void ReportConvertError(engine::Context& ctx, const data::ConvertError& error) {
  switch (error.kind) {
    case data::ConvertErrorKind::kNone:
      return;
    case data::ConvertErrorKind::kNotExist:
      ctx.Refresh();
      platform::ReportFileNotFound(ctx.messages, error.path);
      return;
    case data::ConvertErrorKind::kReadInErr:
      ctx.Refresh();
      platform::ReportFileUnreadable(ctx.messages, error.path);
      return;
    default:
      ctx.MessageBox(error.text, platform::kBoxError);
      return;
  }
}

}  // namespace tavro::operations
