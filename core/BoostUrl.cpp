// Boost.URL compiled in, so nothing linked carries the release-specific libboost_url name.
#include <boost/url/src.hpp>
