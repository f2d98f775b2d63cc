# kalvor_use_test_home(HOME): points the XDG folders of the process and its children into HOME,
# creating them, so that nothing a test persists reaches the user's folders.
function(kalvor_use_test_home home)
    foreach(kind CONFIG CACHE DATA STATE)
        string(TOLOWER ${kind} folder)
        file(MAKE_DIRECTORY "${home}/${folder}")
        set(ENV{XDG_${kind}_HOME} "${home}/${folder}")
    endforeach()
    # Qt wants its runtime folder private to the user.
    file(MAKE_DIRECTORY "${home}/runtime")
    file(CHMOD "${home}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set(ENV{XDG_RUNTIME_DIR} "${home}/runtime")
endfunction()
