# The presets in the one order every script builds and tests them in (sourced):
#   native         first: the simulator and the tool that the page's and the Wine tests run
#   web            the page, which both packages take from this tree
#   linux-release  the Debian package, with the page
#   win32          the shipped 32-bit programs and the zip, with the page
#   win64          under Wine, last: its shipping suite runs the zip's 32-bit programs
presets=(native web linux-release win32 win64)
# Those that make the packages, and all a release is built from, in the same order.
package_presets=(linux-release win32)
release_presets=(web "${package_presets[@]}")
