# After CPack made the installer: the release folder holds it, the programs it installs and a
# SHA256SUMS of them all (`sha256sum -c SHA256SUMS` checks them there).
file(REMOVE_RECURSE ${CPACK_KNOT_RELEASE_FOLDER})
file(STRINGS ${CPACK_KNOT_SHIPPED_LIST} programs)
set(sums "")
foreach(file IN LISTS CPACK_PACKAGE_FILES programs)
    get_filename_component(name ${file} NAME)
    file(COPY ${file} DESTINATION ${CPACK_KNOT_RELEASE_FOLDER})
    file(SHA256 ${file} sum)
    string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${CPACK_KNOT_RELEASE_FOLDER}/SHA256SUMS "${sums}")
