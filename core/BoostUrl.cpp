// Boost.URL compiled in (up to 1.82), so nothing linked carries the release-specific libboost_url name.
#include <boost/url/src.hpp>
