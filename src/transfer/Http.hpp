// Every HTTP(S) request of the add-on: one handle set-up (user agent, certificate
// checks, the user's proxy, time limits, http and https only), the two write
// callbacks and the plain transfers built on them.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <ostream>
#include <string>

namespace tarvel {

constexpr const char* kUserAgent = "Tarvel ArchiCAD AddOn";
// Longest proxy text handed to libcurl; a longer one is refused, not cut.
constexpr std::size_t kMaxProxyBytes = 1023;

// True for an absolute http:// or https:// URL (scheme in any case).
bool IsHttpUrl(const std::string& url);

// The proxy chosen from a Windows proxy string (UTF-16 units); "" for none. Only
// entries for plain http are taken; one that is not ASCII or longer than
// kMaxProxyBytes gives none.
std::string ChooseProxy(const std::wstring& windowsProxy);
// The proxy of the current user's settings, chosen as above; "" for none.
std::string UserProxy();

// A new easy handle set up for the URL; errorBuffer holds CURL_ERROR_SIZE bytes.
// False (and no handle) when a step fails or the URL is not http or https.
bool CreateCurlHandle(CURL*& handle, char* errorBuffer, const char* url);

// libcurl write callbacks. userData is a std::string* (appended to) or a
// std::ostream* (written to). Null, or a stream that fails, answers 0, which
// ends the transfer as failed.
std::size_t CurlWriteToBuffer(char* data, std::size_t size, std::size_t count, void* body);
std::size_t CurlWriteToStream(char* data, std::size_t size, std::size_t count, void* stream);

// GET into memory; an HTTP error page counts as a body. False (body "") when the
// transfer fails.
bool HttpGetToString(const char* url, std::string& body);

// The semaphore probe: false only for a 404 answer, a successful answer whose body
// begins with "4", or a handle that cannot be set up.
bool UrlExists(const std::string& url);

// GET into the stream; an HTTP error status fails the transfer like a broken one.
bool FetchToStream(const std::string& url, std::ostream& out);

// GET into a file (wide path text); an error page is written like a file. False
// when the transfer or the writing failed.
bool DownloadToFile(const std::string& url, const std::wstring& file);

// GET into the Temp folder under the (made safe) file name; an error page is
// written like a file. False when the transfer or the writing failed.
bool DownloadToTemp(const std::string& url, const std::string& fileName);

}  // namespace tarvel
