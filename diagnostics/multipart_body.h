#ifndef DIAGNOSTICS_MULTIPART_BODY_H_
#define DIAGNOSTICS_MULTIPART_BODY_H_

#include <map>
#include <memory>
#include <string>

#include "diagnostics/http_body_stream.h"

namespace diagnostics {

// A multipart/form-data body: form fields in key order, then one file.
class MultipartBody {
 public:
  // "---MultipartBoundary-" + 32 random letters and digits + "---".
  static std::string MakeBoundary();

  explicit MultipartBody(std::string boundary) : boundary_(std::move(boundary)) {}

  // A later value for the same key replaces the earlier one.
  void SetFormField(const std::string& key, const std::string& value) { fields_[key] = value; }
  // The file part; `data` is read when the body is.
  void SetFile(std::string name, std::string file_name, std::string content_type,
               std::unique_ptr<HttpBodyStream> data);

  // "multipart/form-data; boundary=" + the boundary.
  std::string ContentType() const;
  const std::string& boundary() const { return boundary_; }

  // The whole body as a stream; the body object is spent afterwards.
  std::unique_ptr<HttpBodyStream> TakeStream();

 private:
  std::string boundary_;
  std::map<std::string, std::string> fields_;
  std::string file_name_field_;
  std::string file_name_;
  std::string content_type_;
  std::unique_ptr<HttpBodyStream> file_data_;
};

}  // namespace diagnostics

#endif  // DIAGNOSTICS_MULTIPART_BODY_H_
