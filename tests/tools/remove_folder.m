function remove_folder(dir)
  confirm_recursive_rmdir(false, 'local');
  rmdir(dir, 's');
end
