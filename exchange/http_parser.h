// One HTTP/1.0 exchange as bytes: builds the request (request line, headers, a multipart form
// body) and hands it out in chunks, then splits the response into status line, headers and
// body as its bytes arrive. Of the header fields only Content-Length is interpreted: with it the
// body is exactly that many bytes (anything after them is dropped), without it everything after
// the empty line until the server closes the connection.
//
// A request is sent as
//   <METHOD> <path> HTTP/1.0 CR LF
//   <headers in the order added, each "Name: value" CR LF>   (Host and Content-Length last)
//   CR LF
//   <body>
// The form body is multipart/form-data with the fixed boundary PACEWRIGHT-MULTIPART-ID; each
// part is
//   --PACEWRIGHT-MULTIPART-ID CR LF
//   Content-Disposition: form-data; name="<name>"[; filename="<file name>"] CR LF
//   [Content-Type: application/octet-stream CR LF Content-Transfer-Encoding: binary CR LF]
//   CR LF
//   <value in UTF-8, or the file bytes unchanged> CR LF
// and the form ends with "--PACEWRIGHT-MULTIPART-ID--" CR LF.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"

class CHttpParser : public CPwBase {
 public:
  // Response stages.
  enum TStage : int32_t { EStatusLine = 0, EHeaders = 1, EBody = 2 };

  // A response (status line, headers and body together) may not grow beyond this: a server
  // that sends endless headers or an endless body fails the request instead of filling memory.
  static constexpr int32_t KMaxResponseBytes = 4 * 1024 * 1024;

  static constexpr char KBoundary[] = "PACEWRIGHT-MULTIPART-ID";
  static constexpr char KFormContentType[] = "multipart/form-data; boundary=PACEWRIGHT-MULTIPART-ID";

  CHttpParser() = default;
  ~CHttpParser() override;

  // Empties every buffer (the form body too); status code -1, stage and send positions 0.
  void Reset();
  // Empties the form body (the request body).
  void ResetForm();

  // Appends "Name: value" CR LF to the request headers.
  void AddHeader(CPwByteArrayC aName, CPwByteArrayC aValue);
  void AddHeader(CPwByteArrayC aName, int64_t aValue);

  // Append one part to the form body. A '"', CR or LF in a name or file name is written as
  // %22, %0D, %0A so that it cannot end the quoted parameter.
  void AddFormField(CPwStringC aName, CPwStringC aValue);
  void AddFormFile(CPwStringC aName, CPwStringC aFileName, CPwByteArrayC aBytes);
  // Appends the closing boundary and adds the form's Content-Type header.
  void FinishForm();

  // Sets the request line (aMethod, the path of aUrl, HTTP/1.0) and the host, and appends the
  // Host and Content-Length headers and the empty line. False (nothing changed) unless the url
  // begins with "http://" (any case) followed by a non-empty host and a "/".
  bool SetRequest(CPwByteArrayC aMethod, CPwByteArrayC aUrl);

  // Copies up to aMax bytes from the first of request line, headers and body that still has
  // unsent bytes and advances its send position; a chunk never spans two buffers. 0 when
  // everything has been sent.
  int32_t NextRequestBytes(uint8_t* aBuffer, int32_t aMax);

  // Adds received bytes to the buffer of the current stage and moves on through the stages.
  // KErrTooLong (the bytes dropped) when the response would pass KMaxResponseBytes, or as soon
  // as the headers announce a body that would; KErrCorrupt once the headers hold a
  // Content-Length that is not a decimal count (negative, empty, two that differ). Either
  // error stays: every later call returns it too.
  int32_t AddResponseBytes(const uint8_t* aBytes, int32_t aCount);
  // The announced body length, -1 when the headers (so far) announce none.
  int64_t ContentLength() const { return iContentLength; }
  // The headers are complete and so is the body they announced: no more bytes are needed.
  bool IsBodyComplete() const { return iStage == EBody && iContentLength >= 0 && iResponseBody.Length() >= iContentLength; }
  // Whether what was received is a whole response: the headers ended, nothing was refused, and
  // the body is as long as announced (any length when none was).
  bool IsWholeResponse() const;

  CPwByteArrayC Host() const { return iHost; }
  CPwByteArrayC RequestLine() const { return iRequestLine; }
  CPwByteArrayC RequestHeaders() const { return iRequestHeaders; }
  CPwByteArrayC RequestBody() const { return iRequestBody; }
  CPwByteArrayC StatusLine() const { return iStatusLine; }
  CPwByteArrayC ResponseHeaders() const { return iResponseHeaders; }
  CPwByteArrayC ResponseBody() const { return iResponseBody; }
  int32_t ResponseStage() const { return iStage; }
  // -1 until a status line with a numeric code between its first two spaces has arrived.
  int32_t StatusCode() const { return iStatusCode; }
  // Bytes of response received so far.
  int32_t ResponseLength() const { return iResponseLength; }
  // Moves the response body into aBody (replacing its content) and leaves it empty here.
  void TakeResponseBody(CPwByteArray& aBody);

 private:
  // Appends a form-data parameter value with the characters that would end it escaped.
  void AppendQuoted(CPwStringC aText);
  void AppendPartStart(CPwStringC aName);
  // Stage 0: a complete status line moves the rest on and sets the status code.
  void CheckStatusLine(int32_t aScanFrom);
  // Stage 1: the empty line moves the rest to the body.
  void CheckHeaders(int32_t aScanFrom);
  void ParseStatusCode();
  // Reads Content-Length from the complete headers; the error for a value it cannot be.
  int32_t ParseContentLength();
  // Appends body bytes, never beyond the announced length.
  void AppendBody(CPwByteArrayC aBytes);

  CPwByteArray iHost;
  CPwByteArray iRequestLine;
  CPwByteArray iRequestHeaders;
  CPwByteArray iRequestBody;
  int32_t iLineSent = 0;
  int32_t iHeadersSent = 0;
  int32_t iBodySent = 0;
  CPwByteArray iStatusLine;
  CPwByteArray iResponseHeaders;
  CPwByteArray iResponseBody;
  int32_t iStage = EStatusLine;
  int32_t iStatusCode = -1;
  int32_t iResponseLength = 0;
  int64_t iContentLength = -1;
  int32_t iResponseError = KErrNone;
};
