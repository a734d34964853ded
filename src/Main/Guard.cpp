#include "Main/Guard.hpp"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/exception.hpp>

#include <exception>
#include <iostream>

namespace tarvel {

bool RunGuarded(const std::function<void()>& work)
{
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        std::cerr << "LOAD FAILED! " << std::endl << e.what() << std::endl;
    } catch (const boost::exception& e) {
        std::cerr << "LOAD FAILED!! " << std::endl << boost::diagnostic_information(e);
    } catch (...) {
        std::cerr << "LOAD FAILED!!! " << std::endl << boost::current_exception_diagnostic_information();
    }
    return false;
}

}  // namespace tarvel
